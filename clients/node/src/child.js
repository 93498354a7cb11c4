import { spawn } from 'node:child_process';
import { accessSync, constants, statSync } from 'node:fs';
import { StringDecoder } from 'node:string_decoder';
import { EarshotError } from './error.js';
import { findExecutable, isExecutableFile } from './executable.js';

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

// A host killed by a signal runs no exit hook. On Linux the child is started
// through util-linux's setpriv, which asks the kernel to kill it when the
// host's thread that started it ends, whatever the way, and then runs earshot
// in its own place (same process id).
const launcher = '/usr/bin/setpriv';
let launcherUsable;
function launch(program, args) {
  launcherUsable ??= process.platform === 'linux' && isExecutableFile(launcher);
  if (!launcherUsable) return [program, args];
  return [launcher, ['--pdeathsig', 'KILL', '--', program, ...args]];
}

function checkProgram(program) {
  try {
    accessSync(program, constants.X_OK);
    if (statSync(program).isFile()) return;
    throw new Error('not a file');
  } catch (error) {
    const why = error.code === 'ENOENT' ? 'no such file' : error.code === 'EACCES' ? 'not executable' : error.message;
    throw new EarshotError(`Cannot run ${program}: ${why}`, { code: 'program-not-found', cause: error });
  }
}

// How long output is still read after the process has exited: what it wrote
// is in the pipe by then, and a process it started may hold the pipe open for
// ever.
const drainAfterExitMs = 100;

// Starts earshot with `args`. `onLine` gets each output line parsed as JSON;
// `onEnd(failure, code, signal)` runs once, after the process has exited and
// its output has been read. `failure` is set when the program could not be
// started or wrote something that is not a JSON object line.
export function startEarshot({ executable, env, args = [] }, onLine, onEnd) {
  const program = findExecutable(executable, env ?? process.env);
  checkProgram(program);
  const [file, argv] = launch(program, args);
  const child = spawn(file, argv, {
    stdio: [args.length === 0 ? 'pipe' : 'ignore', 'pipe', 'inherit'],
    env: env ?? process.env,
  });
  if (!exitHookInstalled) {
    process.on('exit', killRunning);
    exitHookInstalled = true;
  }
  running.add(child);

  let failure = null;
  const fail = (error) => {
    failure ??= error;
    child.kill('SIGKILL');
  };
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
        fail(new EarshotError(`earshot wrote a line that is not JSON: ${line.slice(0, 200)}`, { code: 'protocol-error' }));
        return;
      }
      if (message === null || typeof message !== 'object' || Array.isArray(message)) {
        fail(new EarshotError(`earshot wrote a line that is not a JSON object: ${line.slice(0, 200)}`, { code: 'protocol-error' }));
        return;
      }
      onLine(message);
    }
  };
  child.stdout.on('data', (chunk) => {
    takeLines(decoder.write(chunk));
    if (drainTimer) drainTimer.refresh();
  });
  child.stdin?.on('error', () => {
    // The program has ended; its end (and "error" line, if any) says why.
  });

  let ended = false;
  let exit = null;
  let drainTimer = null;
  const end = () => {
    if (ended) return;
    ended = true;
    clearTimeout(drainTimer);
    running.delete(child);
    takeLines(decoder.end() + (partial ? '\n' : ''));
    child.stdout.destroy();
    child.stdin?.destroy();
    onEnd(failure, exit?.code ?? null, exit?.signal ?? null);
  };
  child.stdout.on('end', () => {
    if (exit) end();
  });
  child.on('error', (error) => {
    failure ??= new EarshotError(`Cannot run ${program}: ${error.message}`, { code: 'program-not-found', cause: error });
    if (child.pid === undefined) {
      exit = { code: null, signal: null };
      end();
    }
  });
  child.on('exit', (code, signal) => {
    exit = { code, signal };
    running.delete(child);
    if (child.stdout.readableEnded) end();
    else drainTimer = setTimeout(end, drainAfterExitMs).unref();
  });
  return child;
}

// The failure for a program that ended without saying why.
export function unexpectedEnd(code, signal) {
  const how = signal ? `was killed by ${signal}` : `exited with status ${code}`;
  return new EarshotError(`earshot ${how} without an error message`, { code: 'program-exited' });
}
