import { spawn } from 'node:child_process';
import { StringDecoder } from 'node:string_decoder';
import { EarshotError } from './error.js';
import { findExecutable } from './executable.js';

// Children still running; killed when the host process exits, so that a
// host that ends without stopping leaves nothing behind.
const running = new Set();
let exitHookInstalled = false;

function killRunning() {
  for (const child of running) {
    try {
      child.kill('SIGKILL');
    } catch {
      // already gone
    }
  }
}

// Starts earshot with `args`. `onLine` gets each output line parsed as JSON;
// `onEnd(failure, code, signal)` runs once, after the process has exited and
// its output has been read to the end. `failure` is set when the program could
// not be started or wrote something that is not a JSON line.
export function startEarshot({ executable, env, args = [] }, onLine, onEnd) {
  const program = findExecutable(executable, env ?? process.env);
  const child = spawn(program, args, {
    stdio: [args.length === 0 ? 'pipe' : 'ignore', 'pipe', 'inherit'],
    env: env ?? process.env,
  });
  if (!exitHookInstalled) {
    process.on('exit', killRunning);
    exitHookInstalled = true;
  }
  running.add(child);

  let failure = null;
  const decoder = new StringDecoder('utf8');
  let partial = '';
  const takeLines = (text) => {
    const lines = (partial + text).split('\n');
    partial = lines.pop();
    for (const line of lines) {
      if (failure) return;
      let message;
      try {
        message = JSON.parse(line);
      } catch {
        failure = new EarshotError(`earshot wrote a line that is not JSON: ${line.slice(0, 200)}`);
        child.kill('SIGKILL');
        return;
      }
      onLine(message);
    }
  };
  child.stdout.on('data', (chunk) => takeLines(decoder.write(chunk)));
  child.stdin?.on('error', () => {
    // The program has ended; its end (and "error" line, if any) says why.
  });
  child.on('error', (error) => {
    failure ??= new EarshotError(`Cannot run ${program}: ${error.message}`, { cause: error });
  });
  child.on('close', (code, signal) => {
    running.delete(child);
    takeLines(decoder.end() + (partial ? '\n' : ''));
    onEnd(failure, code, signal);
  });
  return child;
}

// The failure for a program that ended without saying why.
export function unexpectedEnd(code, signal) {
  const how = signal ? `was killed by ${signal}` : `exited with status ${code}`;
  return new EarshotError(`earshot ${how} without an error message`);
}
