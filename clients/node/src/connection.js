import { startEarshot, unexpectedEnd } from './child.js';
import { AbortError, EarshotError, usageError } from './error.js';

function deferred() {
  let resolve, reject;
  const promise = new Promise((res, rej) => {
    resolve = res;
    reject = rej;
  });
  return { promise, resolve, reject };
}

// A pending call keeps the host process running until it settles, whatever
// handles are still open: one referenced timer while any call waits. The
// process and its pipes themselves never keep the host running, so a host
// that is done may exit, and the exit kills the process.
let waiting = 0;
let keepAlive = null;
function hold(promise) {
  waiting += 1;
  keepAlive ??= setInterval(() => {}, 1 << 30);
  const letGo = () => {
    waiting -= 1;
    if (waiting === 0) {
      clearInterval(keepAlive);
      keepAlive = null;
    }
  };
  promise.then(letGo, letGo);
  return promise;
}

// One live earshot process and everything in flight with it. The public
// Transcriber wraps it; nothing here refers back to the Transcriber, so a
// Transcriber the host dropped can be collected and its process killed.
//
// The first failure (an "error" line, a line that is not a JSON object, the
// process ending early, an abort) settles every pending call at once, and
// every later call rejects with it too.
export class Connection {
  constructor({ locale, executable, options, env, onStatus }) {
    this.onTranscript = () => {};
    this.failure = null;
    this.failureThrown = false; // the iterator has thrown the failure
    this.killedWith = null; // why the process was killed, when it was
    this.finished = false; // the process has ended
    this.stopped = false; // "stopped" came: every transcript was delivered
    this.closing = false; // stop() or close() was called
    this.closed = false; // close() was called
    this.results = []; // kept for the iterator from the start
    this.nexts = []; // iterator steps waiting for a result
    this.flushes = [];
    this.drainWaiters = [];
    this.chain = Promise.resolve();
    this.ready = deferred();
    this.ended = deferred();
    this.ready.promise.catch(() => {});
    this.ended.promise.catch(() => {});
    this.onStatus = onStatus;

    this.child = startEarshot(
      { executable, env },
      (message) => this.#take(message),
      (failure, code, signal) => this.#end(failure, code, signal),
    );
    for (const handle of [this.child, this.child.stdin, this.child.stdout]) handle?.unref();
    this.child.stdin.on('drain', () => this.#wakeWriters(null));
    const init = { ...options, type: 'init', acknowledgeFlush: true };
    if (locale !== undefined) init.locale = locale;
    this.#send(JSON.stringify(init) + '\n').catch(() => {}); // the end reports it
  }

  #take(message) {
    switch (message.type) {
      case 'ready':
        this.ready.resolve({ locale: message.locale, sampleRate: message.sampleRate });
        break;
      case 'transcript': {
        const { type, ...result } = message;
        const next = this.nexts.shift();
        if (next) next.resolve({ value: result, done: false });
        else this.results.push(result);
        this.onTranscript(result);
        break;
      }
      case 'flushed':
        this.flushes.shift()?.resolve();
        break;
      case 'stopped':
        this.stopped = true;
        break;
      case 'status':
        this.onStatus?.({ phase: message.phase, message: message.message });
        break;
      case 'error':
        this.#fail(new EarshotError(String(message.message)));
        break;
      default:
        break; // members and types this version does not know
    }
  }

  // Settles every pending call with `error`, the transcriber's failure.
  #fail(error) {
    if (this.failure) return;
    this.failure = error;
    this.ready.reject(error);
    for (const flush of this.flushes.splice(0)) flush.reject(error);
    this.#wakeWriters(error);
    const nexts = this.nexts.splice(0);
    if (nexts.length > 0) {
      this.failureThrown = true;
      nexts[0].reject(error);
      for (const next of nexts.slice(1)) next.resolve({ value: undefined, done: true });
    }
  }

  #end(failure, code, signal) {
    this.finished = true;
    if (this.killedWith) this.#fail(this.killedWith);
    if (failure) this.#fail(failure);
    if (!(this.stopped && code === 0)) this.#fail(unexpectedEnd(code, signal));
    this.ready.reject(this.failure ?? new EarshotError('earshot stopped before it was ready', { code: 'program-exited' }));
    for (const flush of this.flushes.splice(0)) flush.resolve();
    this.#wakeWriters(this.failure);
    for (const next of this.nexts.splice(0)) next.resolve({ value: undefined, done: true });
    if (this.failure) this.ended.reject(this.failure);
    else this.ended.resolve();
  }

  #wakeWriters(error) {
    for (const waiter of this.drainWaiters.splice(0)) {
      if (error) waiter.reject(error);
      else waiter.resolve();
    }
  }

  // Ends the process at once; pending and later calls reject with `error`
  // once it has exited.
  kill(error) {
    if (this.finished || this.killedWith) return;
    this.killedWith = error;
    this.child.kill('SIGKILL');
  }

  // `promise`, which an abort of `signal` settles by killing the process.
  #abortable(promise, signal) {
    if (!signal) return promise;
    const onAbort = () => this.kill(new AbortError(signal.reason));
    if (signal.aborted) onAbort();
    else {
      signal.addEventListener('abort', onAbort, { once: true });
      const forget = () => signal.removeEventListener('abort', onAbort);
      promise.then(forget, forget);
    }
    return promise;
  }

  // Resolves with "ready"'s members; rejects (once the process has ended)
  // with the failure, an AbortError, or a timeout.
  whenReady({ signal, timeoutMs } = {}) {
    let timer = null;
    if (timeoutMs !== undefined && timeoutMs !== null) {
      timer = setTimeout(() => {
        const error = new EarshotError(`earshot was not ready within ${timeoutMs} ms`, { code: 'start-timeout' });
        this.kill(error);
      }, timeoutMs);
    }
    const ready = this.ready.promise.then(
      (value) => value,
      async (error) => {
        await this.ended.promise.catch(() => {}); // nothing is left running
        throw this.killedWith ?? error;
      },
    );
    ready.then(() => clearTimeout(timer), () => clearTimeout(timer));
    return hold(this.#abortable(ready, signal));
  }

  // Writes one line; resolves once the pipe has room again.
  #send(line) {
    if (this.failure) return Promise.reject(this.failure);
    if (this.finished) return Promise.reject(usageError('The transcriber has ended'));
    if (this.child.stdin.write(line)) return Promise.resolve();
    const waiter = deferred();
    this.drainWaiters.push(waiter);
    return waiter.promise;
  }

  // Runs `job` after every job queued before it, so that lines from
  // overlapping calls never interleave.
  #queue(job) {
    const run = this.chain.then(() => {
      if (this.failure) throw this.failure;
      return job();
    });
    this.chain = run.catch(() => {});
    return run;
  }

  // Why no more lines can be sent, if so.
  #refusal(call) {
    if (this.closed) return usageError(`${call}() after stop() or close()`);
    if (this.failure) return this.failure;
    if (this.closing) return usageError(`${call}() after stop() or close()`);
    if (this.finished) return usageError(`${call}() after the transcriber ended`);
    return null;
  }

  write(lines) {
    const refusal = this.#refusal('write');
    if (refusal) return Promise.reject(refusal);
    return hold(
      this.#queue(async () => {
        for (const line of lines) await this.#send(line);
      }),
    );
  }

  flush({ signal } = {}) {
    const refusal = this.#refusal('flush');
    if (refusal) return Promise.reject(refusal);
    const acknowledged = deferred();
    this.#queue(() => {
      this.flushes.push(acknowledged);
      return this.#send('{"type":"flush"}\n');
    }).catch((error) => acknowledged.reject(error));
    return hold(this.#abortable(acknowledged.promise, signal));
  }

  stop({ signal } = {}) {
    const refusal = this.#refusal('stop');
    if (refusal) return Promise.reject(refusal);
    this.closing = true;
    this.#queue(() => {
      this.child.stdin.end('{"type":"stop"}\n');
    }).catch(() => {});
    return hold(this.#abortable(this.ended.promise, signal));
  }

  // Ends the process at once; what it had not written yet is lost. Resolves
  // once it has exited.
  close() {
    this.closing = true;
    this.closed = true;
    this.kill(new EarshotError('The transcriber was closed', { code: 'closed' }));
    return hold(this.ended.promise.catch(() => {}));
  }

  // One step of iteration: results are kept from the start until a step
  // takes them; the failure is thrown once, then iteration is over.
  next() {
    if (this.results.length > 0) return Promise.resolve({ value: this.results.shift(), done: false });
    if (this.failure && !this.failureThrown) {
      this.failureThrown = true;
      return Promise.reject(this.failure);
    }
    if (this.finished || this.failure) return Promise.resolve({ value: undefined, done: true });
    const step = deferred();
    this.nexts.push(step);
    return hold(step.promise);
  }
}
