// AbortSignal at each stage and the start timeout: the call rejects, earshot
// is killed, and nothing is left running when it does.
import assert from 'node:assert/strict';
import { describe, test } from 'node:test';
import { AbortError, EarshotError } from '../src/index.js';
import { children } from './processes.js';
import { afterReady, conversation, start } from './stand_in.js';

const hangsBeforeReady = () => conversation({ text: '> init\n! hang\n' });

function assertAborted(error) {
  assert.ok(error instanceof AbortError, String(error));
  assert.equal(error.name, 'AbortError');
  assert.equal(error.code, 'ABORT_ERR');
  assert.deepEqual(children(), [], 'nothing left running');
  return true;
}

describe('AbortSignal', () => {
  test('on start, while earshot is not ready', async () => {
    const stand = hangsBeforeReady();
    try {
      const controller = new AbortController();
      const starting = start(stand, { signal: controller.signal });
      setTimeout(() => controller.abort(), 100);
      await assert.rejects(starting, assertAborted);
    } finally {
      stand.remove();
    }
  });

  test('on start, aborted before the call', async () => {
    const stand = hangsBeforeReady();
    try {
      await assert.rejects(start(stand, { signal: AbortSignal.abort() }), assertAborted);
      assert.deepEqual(stand.sent(), [], 'nothing was started');
    } finally {
      stand.remove();
    }
  });

  for (const stage of ['flush', 'stop']) {
    test(`on ${stage}, while earshot does not answer; pending calls reject too`, async () => {
      const stand = afterReady(`> ${stage}`, '! hang');
      try {
        const transcriber = await start(stand);
        const iterator = transcriber[Symbol.asyncIterator]();
        const waiting = iterator.next();
        const controller = new AbortController();
        const call = transcriber[stage]({ signal: controller.signal });
        setTimeout(() => controller.abort(new Error('user gave up')), 100);
        await assert.rejects(call, (error) => assertAborted(error) && error.cause.message === 'user gave up');
        await assert.rejects(waiting, AbortError);
      } finally {
        stand.remove();
      }
    });

    test(`on ${stage}, aborted before the call`, async () => {
      const stand = afterReady(`> ${stage}`, '! hang');
      try {
        const transcriber = await start(stand);
        await assert.rejects(transcriber[stage]({ signal: AbortSignal.abort() }), assertAborted);
      } finally {
        stand.remove();
      }
    });
  }

  test('a signal aborted after the call settled changes nothing', async () => {
    const stand = conversation({ name: 'goforward' });
    try {
      const controller = new AbortController();
      const transcriber = await start(stand, { signal: controller.signal });
      await transcriber.flush({ signal: controller.signal });
      controller.abort();
      await transcriber.stop();
    } finally {
      stand.remove();
    }
  });
});

test('startTimeoutMs kills an earshot that is not ready in time', async () => {
  const stand = hangsBeforeReady();
  try {
    const began = Date.now();
    await assert.rejects(start(stand, { startTimeoutMs: 300 }), (error) => {
      assert.ok(error instanceof EarshotError);
      assert.equal(error.code, 'start-timeout');
      assert.equal(error.message, 'earshot was not ready within 300 ms');
      assert.deepEqual(children(), []);
      return true;
    });
    assert.ok(Date.now() - began >= 300);
  } finally {
    stand.remove();
  }
});
