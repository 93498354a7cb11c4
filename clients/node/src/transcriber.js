import { EventEmitter } from 'node:events';
import { audioLines, checkRate, sampleBytes } from './audio_lines.js';
import { Connection } from './connection.js';

const creating = Symbol('creating');

// Kills the process of a Transcriber the host dropped without closing it.
const dropped = new FinalizationRegistry((connection) => {
  connection.close();
});

// Live transcription with one earshot process. Events: "transcript" with each
// result, "error" with the EarshotError that ended the process (only emitted
// when someone listens), "end" once the process has ended.
export class Transcriber extends EventEmitter {
  #connection;

  // Starts earshot and resolves once it is ready (or rejects with its error).
  static async start({ locale, executable, options, env, onStatus, textForm } = {}) {
    // textForm: "written" (earshot's default) or "spoken"; earshot checks it.
    if (textForm !== undefined) options = { ...options, textForm };
    const transcriber = new Transcriber(creating, { locale, executable, options, env, onStatus });
    const ready = await transcriber.#connection.ready.promise.catch((error) => {
      transcriber.close();
      throw error;
    });
    transcriber.locale = ready.locale;
    transcriber.sampleRate = ready.sampleRate;
    return transcriber;
  }

  constructor(token, settings) {
    super();
    if (token !== creating) throw new TypeError('Use Transcriber.start() to make a Transcriber');
    const connection = new Connection(settings);
    const self = new WeakRef(this);
    connection.onTranscript = (result) => self.deref()?.emit('transcript', result);
    connection.ended.promise.then(
      () => self.deref()?.emit('end'),
      (error) => {
        const transcriber = self.deref();
        if (!transcriber) return;
        if (transcriber.listenerCount('error') > 0) transcriber.emit('error', error);
        transcriber.emit('end');
      },
    );
    this.#connection = connection;
    dropped.register(this, connection, this);
  }

  // Sends samples (Int16Array, or a Buffer of 16-bit little-endian samples)
  // at `sampleRate`; resolves once the pipe to earshot has taken them.
  write(samples, sampleRate) {
    checkRate(sampleRate);
    return this.#connection.write(audioLines(sampleBytes(samples), sampleRate));
  }

  // Ends the current session; resolves once every transcript of the audio
  // written before it has been delivered.
  flush() {
    return this.#connection.flush();
  }

  // Ends the last session and the process; resolves once every transcript
  // has been delivered and the process has exited.
  stop() {
    return this.#connection.stop();
  }

  // Kills the process at once, dropping what it has not written yet.
  close() {
    dropped.unregister(this);
    return this.#connection.close();
  }

  // The process id of earshot.
  get pid() {
    return this.#connection.child.pid;
  }

  // Bytes written but not yet taken by the pipe to earshot.
  get bufferedBytes() {
    return this.#connection.child.stdin.writableLength;
  }

  [Symbol.asyncIterator]() {
    return this.#connection.iterate();
  }
}
