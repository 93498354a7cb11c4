// WAV files of any rate, channel count and sample kind are mixed down and
// sent at their rate; anything else is refused with a clear error.
import assert from 'node:assert/strict';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, describe, test } from 'node:test';
import { EarshotError, transcribeFile } from '../src/index.js';
import { decodeWav } from '../src/wav.js';
import { conversation } from './stand_in.js';

const folder = mkdtempSync(join(tmpdir(), 'earshot-wav-'));
after(() => rmSync(folder, { recursive: true, force: true }));

// A WAV file of `frames`, each an array of one value in [-1, 1] per channel.
function wav({ tag = 1, bits = 16, rate = 16000, frames, extensible = false }) {
  const channels = frames[0].length;
  const width = bits / 8;
  const data = Buffer.alloc(frames.length * channels * width);
  let at = 0;
  for (const frame of frames) {
    for (const value of frame) {
      if (tag === 3 && bits === 32) data.writeFloatLE(value, at);
      else if (tag === 3) data.writeDoubleLE(value, at);
      else if (bits === 8) data[at] = Math.round(value * 127) + 128;
      else data.writeIntLE(Math.round(value * (2 ** (bits - 1) - 1)), at, width);
      at += width;
    }
  }
  const fmt = Buffer.alloc(extensible ? 40 : 16);
  fmt.writeUInt16LE(extensible ? 0xfffe : tag, 0);
  fmt.writeUInt16LE(channels, 2);
  fmt.writeUInt32LE(rate, 4);
  fmt.writeUInt32LE(rate * channels * width, 8);
  fmt.writeUInt16LE(channels * width, 12);
  fmt.writeUInt16LE(bits, 14);
  if (extensible) fmt.writeUInt16LE(tag, 24);
  const chunk = (id, body) => {
    const head = Buffer.alloc(8);
    head.write(id, 0, 'latin1');
    head.writeUInt32LE(body.length, 4);
    return Buffer.concat([head, body, Buffer.alloc(body.length % 2)]);
  };
  const body = Buffer.concat([Buffer.from('WAVE'), chunk('fmt ', fmt), chunk('LIST', Buffer.from('odd')), chunk('data', data)]);
  const head = Buffer.alloc(8);
  head.write('RIFF', 0, 'latin1');
  head.writeUInt32LE(body.length, 4);
  return Buffer.concat([head, body]);
}

const samplesOf = ({ samples }) => Array.from({ length: samples.length / 2 }, (_, i) => samples.readInt16LE(i * 2));

describe('decoding', () => {
  const stereo = [
    [0.5, -0.5],
    [0.25, 0.75],
    [-1, -1],
  ];
  const kinds = [
    ['16-bit stereo at 44.1 kHz', { rate: 44100, frames: stereo }],
    ['8-bit stereo', { bits: 8, frames: stereo }],
    ['24-bit stereo', { bits: 24, frames: stereo }],
    ['32-bit stereo', { bits: 32, frames: stereo }],
    ['float stereo', { tag: 3, bits: 32, frames: stereo }],
    ['double stereo, extensible', { tag: 3, bits: 64, frames: stereo, extensible: true }],
  ];
  for (const [what, spec] of kinds) {
    test(`${what} is mixed down to mono 16-bit at its rate`, () => {
      const decoded = decodeWav(wav(spec), 'x.wav');
      assert.equal(decoded.sampleRate, spec.rate ?? 16000);
      const expected = [0, 0.5 * 32768, -32768];
      samplesOf(decoded).forEach((value, i) => assert.ok(Math.abs(value - expected[i]) <= 260, `${what}: ${value} against ${expected[i]}`));
    });
  }

  test('16-bit mono passes through unchanged', () => {
    const decoded = decodeWav(wav({ frames: [[0.1], [-0.2], [0.3]] }), 'x.wav');
    assert.deepEqual(samplesOf(decoded), [3277, -6553, 9830]);
  });

  const refused = [
    ['a FLAC file', Buffer.from('fLaC\0\0\0\x22rest of the stream'), /^x\.flac: not a WAV file; convert it to WAV first/],
    ['an empty file', Buffer.alloc(0), /not a WAV file/],
    ['A-law samples', wav({ tag: 6, bits: 8, frames: [[0]] }), /WAV samples of format 6 with 8 bits are not supported/],
    ['12-bit samples', wav({ bits: 16, frames: [[0]] }).fill(12, 34, 35), /with 12 bits are not supported/],
    ['a rate of 1 Hz', wav({ rate: 1, frames: [[0]] }), /sample rate 1 Hz is outside the accepted range of 8000 to 192000 Hz/],
    ['no data chunk', wav({ frames: [[0]] }).subarray(0, 36 + 12), /without a data chunk/],
  ];
  for (const [what, bytes, message] of refused) {
    test(`${what} is refused with code invalid-file`, () => {
      assert.throws(() => decodeWav(bytes, 'x.flac'), (error) => {
        assert.ok(error instanceof EarshotError);
        assert.equal(error.code, 'invalid-file');
        assert.match(error.message.replace('x.flac', what === 'a FLAC file' ? 'x.flac' : 'x'), message);
        return true;
      });
    });
  }
});

describe('transcribeFile', () => {
  test('sends the mixed-down samples at the file\'s rate, reports rising progress and resolves with the finals', async () => {
    const stand = conversation({ name: 'goforward' });
    try {
      const frames = Array.from({ length: 44100 * 3 }, (_, i) => [Math.sin(i / 10) / 2, Math.sin(i / 7) / 2]);
      const path = join(folder, 'stereo.wav');
      writeFileSync(path, wav({ rate: 44100, frames }));
      const progress = [];
      const finals = await transcribeFile(path, { executable: stand.executable, env: stand.env, onProgress: (f) => progress.push(f) });
      assert.deepEqual(finals.map((f) => f.text), ['go forward ten meters', 'go forward ten meters']);
      assert.ok(finals.every((f) => f.isFinal && f.words.length === 4));
      assert.equal(progress.at(-1), 1);
      assert.ok(progress.length > 2 && progress.every((f, i) => i === 0 || f > progress[i - 1]), `${progress}`);
      const audio = stand.sent().filter((line) => line.startsWith('audio'));
      assert.ok(audio.every((line) => line.startsWith('audio 44100 ')));
      assert.equal(audio.reduce((sum, line) => sum + Number(line.split(' ')[2]), 0), 44100 * 3 * 2);
    } finally {
      stand.remove();
    }
  });

  test('a file that is not WAV is refused before earshot starts', async () => {
    const path = join(folder, 'talk.flac');
    writeFileSync(path, 'fLaC');
    const stand = conversation({ name: 'goforward' });
    try {
      await assert.rejects(transcribeFile(path, { executable: stand.executable, env: stand.env }), {
        code: 'invalid-file',
        message: `${path}: not a WAV file; convert it to WAV first (for example with sox or ffmpeg)`,
      });
      assert.deepEqual(stand.sent(), []);
    } finally {
      stand.remove();
    }
  });
});
