// A host that ends, or forgets a transcriber, without stopping it leaves no
// earshot process behind.
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { after, before, test } from 'node:test';
import { ends, isRunning } from './processes.js';
import { throwawayHome } from './support.js';

let home;
before(async () => {
  home = await throwawayHome();
});
after(() => home.close());

const library = new URL('../src/index.js', import.meta.url).href;

// Runs a host script (after `pcm` and `started()` are defined) that prints
// earshot's pid first; resolves with the pid, the output and the host's exit.
function host(body, nodeOptions = []) {
  const script = `
    import { Transcriber } from ${JSON.stringify(library)};
    import { readFileSync } from 'node:fs';
    const pcm = readFileSync('/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-0870.wav').subarray(44);
    async function started() {
      const transcriber = await Transcriber.start({ locale: 'en-US' });
      console.log(transcriber.pid);
      return transcriber;
    }
    ${body}
  `;
  const child = spawn(process.execPath, [...nodeOptions, '--input-type=module', '-e', script], {
    env: home.env,
    stdio: ['ignore', 'pipe', 'inherit'],
  });
  let out = '';
  child.stdout.on('data', (chunk) => (out += chunk));
  return new Promise((resolve) => {
    child.on('close', (status) => resolve({ pid: Number(out.split('\n')[0]), status, out }));
  });
}

const endings = [
  ['falls off the end of its script while audio is queued', 'await (await started()).write(pcm, 16000);'],
  ['calls process.exit() with a flush outstanding', 'const t = await started(); await t.write(pcm, 16000); t.flush(); process.exit(3);'],
  ['throws', 'await (await started()).write(pcm, 16000); throw new Error("host bug");'],
];

for (const [how, body] of endings) {
  test(`a host that ${how} leaves no child`, async () => {
    const { pid, status } = await host(body);
    assert.ok(pid > 0);
    assert.notEqual(status, null);
    assert.ok(await ends(pid), `earshot ${pid} still runs`);
  });
}

test('a transcriber the host dropped is killed while the host runs on', async () => {
  const { pid, out, status } = await host(
    `
    const pid = await (async () => {
      const transcriber = await started();
      await transcriber.write(pcm, 16000);
      return transcriber.pid;
    })();
    import { isRunning } from ${JSON.stringify(new URL('./processes.js', import.meta.url).href)};
    for (let i = 0; i < 100 && isRunning(pid); i++) {
      globalThis.gc();
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
    console.log(isRunning(pid) ? 'running' : 'gone');
    `,
    ['--expose-gc'],
  );
  assert.equal(status, 0);
  assert.equal(out.split('\n')[1], 'gone', 'killed while the host still ran');
  assert.equal(isRunning(pid), false);
});
