// Helpers of the logic tests: conversations replayed by tests/clients/
// stand_in.py in place of earshot (no engine, milliseconds a test), and what
// the library sent it.
import { spawn } from 'node:child_process';
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const clientsTests = fileURLToPath(new URL('../../../tests/clients/', import.meta.url));
export const standIn = join(clientsTests, 'stand_in.py');
export const library = new URL('../src/index.js', import.meta.url).href;

// The recorded conversation `name` (tests/clients/conversations), or a
// conversation given as text.
export function conversation({ name, text }) {
  const folder = mkdtempSync(join(tmpdir(), 'earshot-stand-in-'));
  const path = name ? join(clientsTests, 'conversations', `${name}.conversation`) : join(folder, 'conversation');
  if (!name) writeFileSync(path, text);
  const log = join(folder, 'log');
  writeFileSync(log, '');
  return {
    executable: standIn,
    env: { ...process.env, STAND_IN_CONVERSATION: path, STAND_IN_LOG: log },
    // The lines the library sent: "init", "audio RATE BYTES", "flush", "stop".
    sent: () => readFileSync(log, 'utf8').split('\n').filter(Boolean),
    remove: () => rmSync(folder, { recursive: true, force: true }),
  };
}

// A conversation that starts with "ready" and then plays `after` (entries).
export const afterReady = (...after) =>
  conversation({ text: ['> init', '< {"type":"ready","locale":"en-US","sampleRate":16000}', ...after, ''].join('\n') });

// Running and not a zombie.
export function isRunning(pid) {
  try {
    const stat = readFileSync(`/proc/${pid}/stat`, 'latin1');
    return stat.slice(stat.lastIndexOf(')') + 2)[0] !== 'Z';
  } catch {
    return false;
  }
}

// Waits up to `seconds` for `pid` to end; true when it did.
export async function ends(pid, seconds = 10) {
  for (let waited = 0; waited < seconds * 1000; waited += 20) {
    if (!isRunning(pid)) return true;
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  return false;
}

// Runs a host script that imports the library as `lib`, with `env`;
// resolves with its exit status, signal and output lines. `onLine` sees each
// output line as it comes, with the child process.
export function host(body, env, onLine = () => {}) {
  const script = `import * as lib from ${JSON.stringify(library)};\n${body}`;
  const child = spawn(process.execPath, ['--input-type=module', '-e', script], {
    env,
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let out = '';
  let err = '';
  let partial = '';
  child.stdout.on('data', (chunk) => {
    out += chunk;
    const lines = (partial + chunk).split('\n');
    partial = lines.pop();
    for (const line of lines) onLine(line, child);
  });
  child.stderr.on('data', (chunk) => (err += chunk));
  return new Promise((resolve) => {
    child.on('close', (status, signal) =>
      resolve({ status, signal, lines: out.split('\n').filter(Boolean), stderr: err }),
    );
  });
}

// 100 ms of a tone at 16 kHz, as 16-bit little-endian bytes.
export const tenth = Buffer.alloc(3200, 1);

// The processes this one started that still run (its children, zombies
// left out).
export function children() {
  const found = [];
  for (const entry of readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = readFileSync(`/proc/${entry}/stat`, 'latin1');
      const [state, parent] = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      if (Number(parent) === process.pid && state !== 'Z') found.push(Number(entry));
    } catch {
      // ended meanwhile
    }
  }
  return found;
}
