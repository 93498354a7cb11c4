// A host that ends by a signal takes earshot with it: no exit hook runs
// then, so the child holds a parent-death signal.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { ends } from './processes.js';
import { afterReady, host } from './stand_in.js';

for (const signal of ['SIGKILL', 'SIGTERM', 'SIGINT']) {
  test(`a host killed by ${signal} leaves no child`, async () => {
    const stand = afterReady('! hang'); // would run for ever on its own
    try {
      let pid = 0;
      const run = await host(
        `const t = await lib.Transcriber.start({ executable: ${JSON.stringify(stand.executable)} });
         console.log(t.pid);
         await t.stop();`,
        stand.env,
        (line, child) => {
          pid = Number(line);
          child.kill(signal);
        },
      );
      assert.equal(run.signal, signal);
      assert.ok(pid > 0);
      assert.ok(await ends(pid, 5), `earshot ${pid} still runs`);
    } finally {
      stand.remove();
    }
  });
}
