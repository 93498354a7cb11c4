import { EventEmitter } from 'node:events';
import { Writable } from 'node:stream';
import { audioLines, checkRate, sampleBytes } from './audio_lines.js';
import { Connection } from './connection.js';
import { AbortError } from './error.js';

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

  // Starts earshot and resolves once it is ready (or rejects with its error,
  // an AbortError, or a "start-timeout" EarshotError, once the process has
  // ended).
  static async start({ locale, executable, options, env, onStatus, signal, startTimeoutMs } = {}) {
    if (signal?.aborted) throw new AbortError(signal.reason);
    if (startTimeoutMs !== undefined && !(typeof startTimeoutMs === 'number' && startTimeoutMs >= 0)) {
      throw new RangeError(`startTimeoutMs must be a number of milliseconds from 0, not ${startTimeoutMs}`);
    }
    const transcriber = new Transcriber(creating, { locale, executable, options, env, onStatus });
    const ready = await transcriber.#connection.whenReady({ signal, timeoutMs: startTimeoutMs });
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
  // at `sampleRate`; resolves once the pipe to earshot has taken them. Bad
  // samples or a rate outside 8000-192000 Hz throw at once, and nothing is
  // sent.
  write(samples, sampleRate) {
    checkRate(sampleRate);
    return this.#connection.write(audioLines(sampleBytes(samples), sampleRate));
  }

  // A Writable of 16-bit little-endian samples at `sampleRate`, for
  // pipeline(): each chunk is written as write() does, and the stream waits
  // for the pipe to earshot (back-pressure). Chunks may split a sample.
  // Ending the stream does not stop the transcriber.
  writable(sampleRate, { highWaterMark } = {}) {
    checkRate(sampleRate);
    let odd = null; // the first byte of a sample split between chunks
    const take = (chunk) => {
      let bytes = odd ? Buffer.concat([odd, chunk]) : chunk;
      odd = null;
      if (bytes.length % 2 !== 0) {
        odd = Buffer.from(bytes.subarray(bytes.length - 1));
        bytes = bytes.subarray(0, bytes.length - 1);
      }
      return bytes;
    };
    return new Writable({
      highWaterMark,
      write: (chunk, _encoding, done) => {
        const bytes = take(chunk);
        if (bytes.length === 0) return done();
        this.write(bytes, sampleRate).then(() => done(), done);
      },
      final: (done) => {
        if (odd) done(new RangeError('the stream ended in the middle of a 16-bit sample'));
        else done();
      },
    });
  }

  // Ends the current session; resolves once every transcript of the audio
  // written before it has been delivered.
  flush({ signal } = {}) {
    return this.#connection.flush({ signal });
  }

  // Ends the last session and the process; resolves once every transcript
  // has been delivered and the process has exited.
  stop({ signal } = {}) {
    return this.#connection.stop({ signal });
  }

  // Kills the process at once, dropping what it has not written yet;
  // resolves once it has exited.
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

  // Results from the start of the transcriber: those no iterator has taken
  // yet wait for one. Iterators share them: each result goes to one.
  [Symbol.asyncIterator]() {
    const connection = this.#connection;
    return {
      next: () => connection.next(),
      return: () => Promise.resolve({ value: undefined, done: true }),
      [Symbol.asyncIterator]() {
        return this;
      },
    };
  }
}
