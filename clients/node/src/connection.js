import { startEarshot, unexpectedEnd } from './child.js';
import { EarshotError } from './error.js';

function deferred() {
  let resolve, reject;
  const promise = new Promise((res, rej) => {
    resolve = res;
    reject = rej;
  });
  return { promise, resolve, reject };
}

// One live earshot process and everything in flight with it. The public
// Transcriber wraps it; nothing here refers back to the Transcriber, so a
// Transcriber the host dropped can be collected and its process killed.
//
// The process keeps the host running only while the host waits for it (a
// pending start, write, flush, stop or iterator step): a host that is done
// may exit, and the exit kills the process.
export class Connection {
  constructor({ locale, executable, options, env, onStatus }) {
    this.onTranscript = () => {};
    this.failure = null;
    this.finished = false; // the process has ended
    this.stopped = false; // "stopped" came: every transcript was delivered
    this.closing = false; // stop() or close() was called
    this.killed = false; // close() was called
    this.iterators = new Set();
    this.flushes = [];
    this.drainWaiters = [];
    this.holds = 0;
    this.chain = Promise.resolve();
    this.ready = deferred();
    this.ended = deferred();
    this.ready.promise.catch(() => {});
    this.onStatus = onStatus;

    this.child = startEarshot(
      { executable, env },
      (message) => this.#take(message),
      (failure, code, signal) => this.#end(failure, code, signal),
    );
    this.child.stdin.on('drain', () => this.#wakeWriters(null));
    this.#hold(this.ready.promise);
    this.#refresh();
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
        for (const iterator of this.iterators) iterator.push(result);
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
        this.failure ??= new EarshotError(String(message.message));
        break;
      default:
        break; // members and types this version does not know
    }
  }

  #end(failure, code, signal) {
    this.finished = true;
    const clean = !failure && !this.failure && this.stopped && code === 0;
    if (!clean) {
      this.failure ??=
        failure ?? (this.killed ? closedError() : unexpectedEnd(code, signal));
    }
    const error = clean ? null : this.failure;
    this.ready.reject(error ?? new EarshotError('earshot stopped before it was ready'));
    for (const flush of this.flushes.splice(0)) {
      if (error) flush.reject(error);
      else flush.resolve();
    }
    this.#wakeWriters(error);
    for (const iterator of this.iterators) iterator.end(error);
    this.#refresh();
    if (error) this.ended.reject(error);
    else this.ended.resolve();
  }

  // Keeps the host alive until `promise` settles.
  #hold(promise) {
    this.holds += 1;
    this.#refresh();
    const letGo = () => {
      this.holds -= 1;
      this.#refresh();
    };
    promise.then(letGo, letGo);
    return promise;
  }

  #refresh() {
    const keep = this.holds > 0 && !this.finished;
    // A destroyed socket would wait for a connection to take the call.
    const handles = [this.child, this.child.stdin, this.child.stdout].filter(
      (handle) => handle && !handle.destroyed,
    );
    for (const handle of handles) {
      if (keep) handle.ref();
      else handle.unref();
    }
  }

  #wakeWriters(error) {
    for (const waiter of this.drainWaiters.splice(0)) {
      if (error) waiter.reject(error);
      else waiter.resolve();
    }
  }

  // Writes one line; resolves once the pipe has room again.
  #send(line) {
    if (this.finished) return Promise.reject(this.failure ?? closedError());
    if (this.child.stdin.write(line)) return Promise.resolve();
    const waiter = deferred();
    this.drainWaiters.push(waiter);
    return this.#hold(waiter.promise);
  }

  // Runs `job` after every job queued before it, so that lines from
  // overlapping calls never interleave.
  #queue(job) {
    const run = this.chain.then(() => {
      if (this.finished) throw this.failure ?? closedError();
      return job();
    });
    this.chain = run.catch(() => {});
    return this.#hold(run);
  }

  // Why no more lines can be sent, if so.
  #refusal() {
    if (this.finished) return this.failure ?? new EarshotError('The transcriber is stopped');
    if (this.closing) return new EarshotError('The transcriber is stopped');
    return null;
  }

  write(lines) {
    const refusal = this.#refusal();
    if (refusal) return Promise.reject(refusal);
    return this.#queue(async () => {
      for (const line of lines) await this.#send(line);
    });
  }

  flush() {
    const refusal = this.#refusal();
    if (refusal) return Promise.reject(refusal);
    const acknowledged = deferred();
    this.#hold(acknowledged.promise).catch(() => {});
    const sent = this.#queue(() => {
      this.flushes.push(acknowledged);
      return this.#send('{"type":"flush"}\n');
    });
    sent.catch((error) => acknowledged.reject(error));
    return acknowledged.promise;
  }

  stop() {
    if (!this.closing) {
      this.closing = true;
      this.#queue(() => {
        this.child.stdin.end('{"type":"stop"}\n');
      }).catch(() => {});
    }
    return this.#hold(this.ended.promise);
  }

  // Ends the process at once; what it had not written yet is lost.
  close() {
    this.closing = true;
    if (!this.finished) {
      this.killed = true;
      this.child.kill('SIGKILL');
    }
    return this.ended.promise.catch(() => {});
  }

  // An async iterator over results delivered from now on.
  iterate() {
    const queue = [];
    let waiting = null;
    let done = false;
    let error = null;
    const iterator = {
      push: (result) => {
        if (waiting) {
          waiting.resolve({ value: result, done: false });
          waiting = null;
        } else {
          queue.push(result);
        }
      },
      end: (failure) => {
        done = true;
        error = failure;
        if (waiting) {
          if (error) waiting.reject(error);
          else waiting.resolve({ value: undefined, done: true });
          waiting = null;
        }
      },
    };
    if (this.finished) iterator.end(this.failure);
    else this.iterators.add(iterator);
    return {
      next: () => {
        if (queue.length > 0) return Promise.resolve({ value: queue.shift(), done: false });
        if (done) {
          this.iterators.delete(iterator);
          if (error) {
            const failure = error;
            error = null; // thrown once; later calls report the end
            return Promise.reject(failure);
          }
          return Promise.resolve({ value: undefined, done: true });
        }
        waiting = deferred();
        return this.#hold(waiting.promise);
      },
      return: () => {
        this.iterators.delete(iterator);
        done = true;
        queue.length = 0;
        return Promise.resolve({ value: undefined, done: true });
      },
      [Symbol.asyncIterator]() {
        return this;
      },
    };
  }
}

function closedError() {
  return new EarshotError('The transcriber was closed');
}
