// Every call settles: after a failure every pending and later call rejects
// with it, a pending call keeps the host running, misuse is a usage error,
// and the end of the child is its exit, not the end of its output pipe.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';
import { EarshotError } from '../src/index.js';
import { ends } from './processes.js';
import { afterReady, conversation, host, start, tenth } from './stand_in.js';

const refused = '< {"type":"error","message":"Expected mono Int16 PCM with a valid sample rate"}';

describe('after a failure', () => {
  test('pending flush, iterator and stop reject with the one failure, later calls at once', async () => {
    const stand = afterReady('> audio', '> flush', '! sleep 0.2', refused, '! exit 1');
    try {
      const transcriber = await start(stand);
      const iterator = transcriber[Symbol.asyncIterator]();
      const pending = [transcriber.flush(), iterator.next()];
      await transcriber.write(tenth, 16000);
      const outcomes = await Promise.allSettled([...pending, transcriber.stop()]);
      const failure = outcomes[0].reason;
      assert.ok(failure instanceof EarshotError);
      assert.equal(failure.message, 'Expected mono Int16 PCM with a valid sample rate');
      assert.equal(failure.code, 'invalid-audio');
      for (const outcome of outcomes) assert.equal(outcome.reason, failure, 'the same failure');
      for (const later of [() => transcriber.write(tenth, 16000), () => transcriber.flush(), () => transcriber.stop()]) {
        await assert.rejects(later(), (error) => error === failure);
      }
      assert.deepEqual(await iterator.next(), { value: undefined, done: true }, 'thrown once');
    } finally {
      stand.remove();
    }
  });

  test('a host awaiting a call that fails goes on after it, and exits when its code is done', async () => {
    const stand = afterReady(
      '> audio',
      '> flush',
      '! sleep 0.5',
      '< {"type":"error","message":"Speech model for en-US could not be loaded."}',
      '! exit 1',
    );
    try {
      const run = await host(
        `const t = await lib.Transcriber.start({ executable: ${JSON.stringify(stand.executable)} });
         await t.write(Buffer.alloc(3200), 16000);
         try { await t.flush(); console.log('flushed'); } catch (e) { console.log('rejected', e.name, e.code); }
         try { await t.write(Buffer.alloc(3200), 16000); } catch (e) { console.log('rejected', e.code); }
         console.log('after');`,
        stand.env,
      );
      assert.deepEqual(run.lines, ['rejected EarshotError model-unavailable', 'rejected model-unavailable', 'after']);
      assert.equal(run.status, 0);
      assert.equal(run.stderr, '');
    } finally {
      stand.remove();
    }
  });
});

describe('lines that are not JSON objects', () => {
  for (const line of ['null', '3', '[]', '"ready"', 'true', 'nope']) {
    test(`${line} fails the transcriber with an EarshotError, before or after "ready"`, async () => {
      const before = conversation({ text: `> init\n< ${line}\n! sleep 5\n` });
      const after = afterReady('> audio', `< ${line}`, '! sleep 5');
      try {
        await assert.rejects(start(before), { name: 'EarshotError', code: 'protocol-error', message: /not (a JSON object|JSON)/ });
        const transcriber = await start(after);
        await transcriber.write(tenth, 16000);
        await assert.rejects(transcriber.stop(), { name: 'EarshotError', code: 'protocol-error' });
        assert.ok(await ends(transcriber.pid, 2), 'killed');
      } finally {
        before.remove();
        after.remove();
      }
    });
  }
});

describe('settling', () => {
  test('stop and flush settle when a process the child started holds its output pipe', async () => {
    const stand = afterReady('! grandchild', '> flush', '< {"type":"flushed"}', '> stop', '< {"type":"stopped"}', '! exit 0');
    try {
      const transcriber = await start(stand);
      await transcriber.flush();
      await transcriber.stop();
      assert.deepEqual(stand.sent(), ['init', 'flush', 'stop']);
    } finally {
      stand.remove();
    }
  });

  test('a child that dies with its pipe held still fails the pending calls', async () => {
    const stand = afterReady('! grandchild', '> flush', '! kill SIGKILL');
    try {
      const transcriber = await start(stand);
      await assert.rejects(transcriber.flush(), {
        code: 'program-exited',
        message: 'earshot was killed by SIGKILL without an error message',
      });
    } finally {
      stand.remove();
    }
  });

  test('code after await close() runs, in a host that has nothing else to wait for', async () => {
    const stand = afterReady('! hang');
    try {
      const run = await host(
        `const t = await lib.Transcriber.start({ executable: ${JSON.stringify(stand.executable)} });
         await t.close(); console.log('closed');
         await t.close(); console.log('closed again');
         await t.stop().catch((e) => console.log(e.code));`,
        stand.env,
      );
      assert.deepEqual(run.lines, ['closed', 'closed again', 'ERR_INVALID_STATE']);
    } finally {
      stand.remove();
    }
  });
});

describe('misuse', () => {
  test('calls after stop() or close() are usage errors, not EarshotErrors', async () => {
    for (const end of ['stop', 'close']) {
      const stand = conversation({ name: 'goforward' });
      try {
        const transcriber = await start(stand);
        await transcriber[end]();
        for (const call of [() => transcriber.write(tenth, 16000), () => transcriber.flush(), () => transcriber.stop()]) {
          await assert.rejects(call(), (error) => {
            assert.equal(error.code, 'ERR_INVALID_STATE', `${end}: ${error}`);
            assert.ok(!(error instanceof EarshotError));
            assert.match(error.message, /after stop\(\) or close\(\)/);
            return true;
          });
        }
      } finally {
        stand.remove();
      }
    }
  });
});

describe('iteration', () => {
  test('an iterator made after the results came gets every one from the start, as the events did', async () => {
    const stand = conversation({ name: 'goforward' });
    try {
      const transcriber = await start(stand, { options: { attributeOptions: ['audioTimeRange', 'transcriptionConfidence'] } });
      const events = [];
      transcriber.on('transcript', (result) => events.push(result));
      for (let i = 0; i < 29; i++) await transcriber.write(tenth, 16000);
      await transcriber.flush();
      await transcriber.stop();
      const iterated = [];
      for await (const result of transcriber) iterated.push(result);
      assert.deepEqual(iterated, events);
      assert.equal(iterated[0].isFinal, false);
      const final = iterated.find((result) => result.isFinal);
      assert.equal(final.text, 'go forward ten meters');
      assert.equal(typeof final.confidence, 'number');
      assert.deepEqual(final.words.map((word) => word.text), ['go', 'forward', 'ten', 'meters']);
      for (const word of final.words) assert.ok(word.start < word.end && word.confidence >= 0 && word.confidence <= 1);
    } finally {
      stand.remove();
    }
  });
});
