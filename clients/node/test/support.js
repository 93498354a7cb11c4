// Helpers of the tests: a throwaway home, the packaged recordings, earshot
// run by hand for reference.
import { spawn, spawnSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { createInterface } from 'node:readline';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
export const repository = join(here, '..', '..', '..');
const homeScript = join(repository, 'tests', 'clients', 'catalog_home.py');
const recordings = '/usr/share/pocketsphinx/test/data/librivox';

export const executable = process.env.EARSHOT_EXECUTABLE;
if (!executable) throw new Error('set EARSHOT_EXECUTABLE to the earshot program under test');

// A home of its own (see catalog_home.py); close() removes it.
export async function throwawayHome() {
  const helper = spawn('python3', [homeScript], { stdio: ['pipe', 'pipe', 'inherit'] });
  const lines = createInterface({ input: helper.stdout });
  const [first] = await new Promise((resolve) => lines.once('line', (line) => resolve([line])));
  const home = JSON.parse(first);
  home.close = () =>
    new Promise((resolve) => {
      helper.once('close', resolve);
      helper.stdin.end();
    });
  return home;
}

// A packaged 16 kHz mono recording: its samples after the 44-byte header.
export function recording(name) {
  const file = readFileSync(join(recordings, `sense_and_sensibility_01_austen_64kb-${name}.wav`));
  return file.subarray(44);
}

// The transcripts earshot writes for recordings sent by hand in the same
// 100 ms lines the library sends, with a flush between recordings: one list
// per recording. (A session after a flush may differ from a fresh process's:
// the engine keeps adapting to the speaker.)
export function byHand(recordings, env) {
  let input = '{"type":"init","locale":"en-US","acknowledgeFlush":true}\n';
  for (const [index, pcm] of recordings.entries()) {
    if (index > 0) input += '{"type":"flush"}\n';
    for (let at = 0; at < pcm.length; at += 3200) {
      input += `{"type":"audio","sampleRate":16000,"pcm":"${pcm.toString('base64', at, Math.min(at + 3200, pcm.length))}"}\n`;
    }
  }
  input += '{"type":"stop"}\n';
  const run = spawnSync(executable, [], { input, env, maxBuffer: 1 << 26 });
  const sessions = [[]];
  for (const line of run.stdout.toString().split('\n')) {
    if (!line) continue;
    const message = JSON.parse(line);
    if (message.type === 'flushed') sessions.push([]);
    else if (message.type === 'transcript') sessions.at(-1).push(message);
  }
  return sessions;
}

export const finals = (results) => results.filter((r) => r.isFinal).map((r) => r.text);

