// Audio the library refuses before sending it: the exception names the value
// and the accepted range, nothing reaches earshot, and the session goes on.
import assert from 'node:assert/strict';
import { test } from 'node:test';
import { Transcriber } from '../src/index.js';
import { conversation, tenth, withTranscriber } from './stand_in.js';

const badWrites = [
  ['a rate below the range', tenth, 4000, RangeError, /^sampleRate 4000 is outside the accepted range of 8000 to 192000 Hz$/],
  ['a rate above the range', tenth, 192001, RangeError, /^sampleRate 192001 is outside .* 8000 to 192000 Hz$/],
  ['a rate of 1 Hz', tenth, 1, RangeError, /^sampleRate 1 is outside/],
  ['a rate of 0', tenth, 0, RangeError, /^sampleRate 0 is outside/],
  ['a negative rate', tenth, -16000, RangeError, /^sampleRate -16000 is outside/],
  ['NaN', tenth, NaN, RangeError, /^sampleRate NaN is outside/],
  ['Infinity', tenth, Infinity, RangeError, /^sampleRate Infinity is outside/],
  ['a rate given as a string', tenth, '16000', TypeError, /^sampleRate must be a number of samples per second, not string$/],
  ['no rate', tenth, undefined, TypeError, /not undefined$/],
  ['an odd number of bytes', Buffer.alloc(3201), 16000, RangeError, /^samples hold 3201 bytes: 16-bit samples need an even number of bytes$/],
  ['samples as a plain array', [1, 2, 3], 16000, TypeError, /^samples must be an Int16Array or a Buffer/],
];

test('bad writes throw at once, send nothing, and the session goes on', () =>
  withTranscriber(conversation({ name: 'goforward' }), async (transcriber, stand) => {
    for (const [what, samples, rate, type, message] of badWrites) {
      assert.throws(() => transcriber.write(samples, rate), (error) => {
        assert.ok(error instanceof type, `${what}: ${error}`);
        assert.match(error.message, message, what);
        return true;
      });
      assert.throws(() => transcriber.writable(rate === 16000 ? NaN : rate), /sampleRate/, what);
    }
    // A fractional rate in the range is earshot's to take, as written.
    await transcriber.write(tenth, 22050.5);
    await transcriber.write(new Int16Array(1600), 16000);
    await transcriber.stop();
    const results = [];
    for await (const result of transcriber) results.push(result);
    assert.deepEqual(stand.sent(), ['init', 'audio 22050.5 3200', 'audio 16000 3200', 'stop']);
    assert.deepEqual(
      results.filter((r) => r.isFinal).map((r) => r.text),
      ['go forward ten meters', 'go forward ten meters'],
      'the session went on (the replay writes the rest of its conversation at the stop)',
    );
  }));

test('bad start options throw before anything starts', async () => {
  await assert.rejects(Transcriber.start({ startTimeoutMs: -1 }), RangeError);
  await assert.rejects(Transcriber.start({ startTimeoutMs: '5' }), RangeError);
});
