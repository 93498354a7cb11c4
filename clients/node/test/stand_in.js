// Helpers of the logic tests: conversations replayed by tests/clients/
// stand_in.py in place of earshot (no engine, milliseconds a test), and what
// the library sent it.
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { Transcriber } from '../src/index.js';

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

// A Transcriber talking to the conversation `stand`, with `settings` added.
export const start = (stand, settings = {}) => Transcriber.start({ executable: stand.executable, env: stand.env, ...settings });

// Runs `use(transcriber, stand)` with a Transcriber started on `stand`, then
// removes the conversation's files, whatever the outcome.
export async function withTranscriber(stand, use) {
  try {
    return await use(await start(stand), stand);
  } finally {
    stand.remove();
  }
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

