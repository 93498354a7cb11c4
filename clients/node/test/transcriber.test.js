// Live transcription through the library against the built program.
import assert from 'node:assert/strict';
import { after, before, describe, test } from 'node:test';
import { EarshotError, Transcriber } from '../src/index.js';
import { ends, isRunning } from './processes.js';
import { byHand, finals, recording, throwawayHome } from './support.js';

let home;
before(async () => {
  home = await throwawayHome();
});
after(() => home.close());

const start = (settings = {}) => Transcriber.start({ locale: 'en-US', env: home.env, ...settings });

async function collect(iterable) {
  const results = [];
  for await (const result of iterable) results.push(result);
  return results;
}

describe('a recording', () => {
  test('gives partials, then the finals earshot writes by hand, as events and iterated', async () => {
    const pcm = recording('0870');
    const transcriber = await start();
    assert.equal(transcriber.locale, 'en-US');
    assert.equal(transcriber.sampleRate, 16000);
    const events = [];
    transcriber.on('transcript', (result) => events.push(result));
    const iterated = collect(transcriber);
    // As an Int16Array, the other kind of samples write() takes.
    await transcriber.write(new Int16Array(pcm.buffer.slice(pcm.byteOffset, pcm.byteOffset + pcm.length)), 16000);
    await transcriber.stop();
    const results = await iterated;

    assert.deepEqual(results, events);
    assert.ok(results.length > 2);
    assert.equal(results[0].isFinal, false, 'partials come first');
    assert.equal(results.at(-1).isFinal, true);
    assert.deepEqual(finals(results), finals(byHand([pcm], home.env)[0]));
    assert.match(finals(results).join(' '), /Mr\. John Dashwood/);
    for (const result of results) assert.deepEqual(Object.keys(result).sort(), ['isFinal', 'text']);
    assert.equal(isRunning(transcriber.pid), false);
  });

  test('flush resolves after the finals of the audio before it, and before any of the next', async () => {
    const first = recording('0880');
    const second = recording('0930');
    const transcriber = await start();
    const results = [];
    transcriber.on('transcript', (result) => results.push(result));
    await transcriber.write(first, 16000);
    await transcriber.flush();
    const atFlush = results.length;
    await transcriber.write(second, 16000);
    await transcriber.flush();
    const atSecondFlush = results.length;
    await transcriber.stop();

    const [before, after] = byHand([first, second], home.env);
    assert.deepEqual(finals(results.slice(0, atFlush)), finals(before));
    assert.equal(results[atFlush - 1].isFinal, true);
    assert.deepEqual(finals(results.slice(atFlush)), finals(after));
    assert.equal(results.length, atSecondFlush, 'nothing after the last flush');
  });

  test('stop ends the iterator and the process; later calls are usage errors', async () => {
    const transcriber = await start();
    const iterated = collect(transcriber);
    await transcriber.write(recording('0880'), 16000);
    await transcriber.stop();
    assert.ok((await iterated).length > 0);
    assert.equal(isRunning(transcriber.pid), false);
    const misuse = { code: 'ERR_INVALID_STATE', message: /after stop\(\) or close\(\)/ };
    await assert.rejects(transcriber.write(recording('0880'), 16000), misuse);
    await assert.rejects(transcriber.flush(), misuse);
    await assert.rejects(transcriber.stop(), misuse);
    assert.deepEqual(await collect(transcriber), []);
  });

  test('comes as the bare spoken words with textForm "spoken"', async () => {
    const transcriber = await start({ options: { textForm: 'spoken' } });
    await transcriber.write(recording('0870'), 16000);
    await transcriber.stop();
    const text = finals(await collect(transcriber)).join(' ');
    assert.match(text, /mr john dashwood/);
    assert.doesNotMatch(text, /[A-Z.]/);
  });
});

describe('failures', () => {
  test('an unsupported locale rejects start with earshot\'s text', async () => {
    await assert.rejects(start({ locale: 'xx-YY' }), {
      name: 'EarshotError',
      code: 'unsupported-locale',
      message:
        'Apple Speech does not support language xx-YY. Choose a supported language in Audio settings.',
    });
  });

  test('the speaker options reach "init", where earshot checks them', async () => {
    await assert.rejects(start({ options: { speakerAdaptation: 'never' } }), {
      name: 'EarshotError',
      message: 'speakerAdaptation must be "persistent", "session" or "off"',
    });
    await assert.rejects(start({ options: { speakerAdaptation: 'off', speakerProfile: 'a/b' } }), {
      name: 'EarshotError',
      message: /^speakerProfile must be 1 to 64 characters/,
    });
    const transcriber = await start({ options: { speakerAdaptation: 'session', speakerProfile: 'kid' } });
    await transcriber.stop();
  });

  test('a missing program rejects start', async () => {
    await assert.rejects(start({ executable: '/nonexistent/earshot' }), {
      name: 'EarshotError',
      message: /^Cannot run \/nonexistent\/earshot: /,
    });
    const env = { ...home.env, PATH: '/nonexistent' };
    delete env.EARSHOT_EXECUTABLE;
    await assert.rejects(start({ env }), { name: 'EarshotError', message: /EARSHOT_EXECUTABLE/ });
  });

  test('a rate earshot would refuse is refused before sending, and the session goes on', async () => {
    const pcm = recording('0880');
    const transcriber = await start();
    const iterated = collect(transcriber);
    assert.throws(() => transcriber.write(pcm.subarray(0, 3200), 4000), {
      name: 'RangeError',
      message: 'sampleRate 4000 is outside the accepted range of 8000 to 192000 Hz',
    });
    await transcriber.write(pcm, 16000);
    await transcriber.stop();
    assert.deepEqual(finals(await iterated), finals(byHand([pcm], home.env)[0]));
  });

  test('a child killed mid-stream ends the iterator with an error and fails pending calls', async () => {
    const long = Buffer.concat(Array(8).fill(recording('0870')));
    const transcriber = await start();
    const errors = [];
    transcriber.on('error', (error) => errors.push(error));
    const results = [];
    const iterated = (async () => {
      for await (const result of transcriber) {
        results.push(result);
        if (results.length === 3) process.kill(transcriber.pid, 'SIGKILL');
      }
    })();
    const writing = transcriber.write(long, 16000);
    const expected = { name: 'EarshotError', code: 'program-exited', message: 'earshot was killed by SIGKILL without an error message' };
    await assert.rejects(iterated, expected);
    // The write may have been taken whole before the kill.
    await writing.catch((error) => assert.equal(error.message, expected.message));
    await assert.rejects(transcriber.flush(), expected);
    await assert.rejects(transcriber.stop(), expected);
    assert.equal(errors.length, 1);
    assert.ok(results.length >= 3);
  });

  test('samples of the wrong kind are refused before anything is sent', async () => {
    const transcriber = await start();
    assert.throws(() => transcriber.write(Buffer.alloc(3), 16000), RangeError);
    assert.throws(() => transcriber.write([1, 2], 16000), TypeError);
    assert.throws(() => transcriber.write(Buffer.alloc(4), NaN), RangeError);
    await transcriber.stop();
  });
});

describe('back-pressure', () => {
  test('a fast writer waits for the pipe, and a slow reader still gets every result', async () => {
    // About 25 s of speech written at once: earshot reads it far slower.
    const pcm = Buffer.concat(['0870', '0880', '0890', '0920', '0930'].map(recording));
    const transcriber = await start();
    const events = [];
    transcriber.on('transcript', (result) => events.push(result));
    let most = 0;
    const sampler = setInterval(() => {
      most = Math.max(most, transcriber.bufferedBytes);
    }, 1);
    const slow = (async () => {
      const results = [];
      for await (const result of transcriber) {
        results.push(result);
        await new Promise((resolve) => setTimeout(resolve, 5));
      }
      return results;
    })();
    await transcriber.write(pcm, 16000);
    await transcriber.stop();
    clearInterval(sampler);
    const results = await slow;

    // The pipe's own buffer plus one line, never the recording's 1 MB of text.
    assert.ok(most < 64 * 1024, `held ${most} bytes`);
    assert.deepEqual(results, events, 'the iterator lost nothing');
    assert.ok(finals(results).length >= 2, `finals: ${finals(results)}`);
  });
});
