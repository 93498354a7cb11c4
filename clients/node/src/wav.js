import { highestRate, lowestRate } from './audio_lines.js';
import { EarshotError } from './error.js';

// Sample decoders by WAV format tag and bits per sample, to [-1, 1].
const decoders = {
  '1/8': [1, (bytes, at) => (bytes[at] - 128) / 128],
  '1/16': [2, (bytes, at) => bytes.readInt16LE(at) / 32768],
  '1/24': [3, (bytes, at) => bytes.readIntLE(at, 3) / 8388608],
  '1/32': [4, (bytes, at) => bytes.readInt32LE(at) / 2147483648],
  '3/32': [4, (bytes, at) => bytes.readFloatLE(at)],
  '3/64': [8, (bytes, at) => bytes.readDoubleLE(at)],
};
const extensible = 0xfffe;

// The samples of a WAV file's bytes as mono 16-bit little-endian samples
// (channels mixed down) and their rate. Integer PCM of 8 to 32 bits and float
// of 32 or 64 bits; anything else fails with an EarshotError of code
// "invalid-file" that names `name`.
export function decodeWav(bytes, name) {
  const fail = (why) => {
    throw new EarshotError(`${name}: ${why}`, { code: 'invalid-file' });
  };
  if (bytes.length < 12 || bytes.toString('latin1', 0, 4) !== 'RIFF' || bytes.toString('latin1', 8, 12) !== 'WAVE') {
    fail('not a WAV file; convert it to WAV first (for example with sox or ffmpeg)');
  }
  let format = null;
  let data = null;
  for (let at = 12; at + 8 <= bytes.length && !data; ) {
    const id = bytes.toString('latin1', at, at + 4);
    const size = bytes.readUInt32LE(at + 4);
    const body = at + 8;
    if (id === 'fmt ' && size >= 16 && body + 16 <= bytes.length) {
      let tag = bytes.readUInt16LE(body);
      if (tag === extensible && size >= 26 && body + 26 <= bytes.length) tag = bytes.readUInt16LE(body + 24);
      format = {
        tag,
        channels: bytes.readUInt16LE(body + 2),
        rate: bytes.readUInt32LE(body + 4),
        bits: bytes.readUInt16LE(body + 14),
      };
    } else if (id === 'data') {
      data = bytes.subarray(body, Math.min(body + size, bytes.length));
    }
    at = body + size + (size & 1);
  }
  if (!format) fail('a WAV file without a format chunk');
  if (!data) fail('a WAV file without a data chunk');
  const decoder = decoders[`${format.tag}/${format.bits}`];
  if (!decoder) {
    fail(
      `WAV samples of format ${format.tag} with ${format.bits} bits are not supported ` +
        '(integer PCM of 8, 16, 24 or 32 bits, or float of 32 or 64 bits)',
    );
  }
  if (format.channels === 0) fail('a WAV file with no channels');
  if (!(format.rate >= lowestRate && format.rate <= highestRate)) {
    fail(`sample rate ${format.rate} Hz is outside the accepted range of ${lowestRate} to ${highestRate} Hz`);
  }
  const [width, read] = decoder;
  const { channels } = format;
  const frames = Math.floor(data.length / (width * channels));
  if (format.tag === 1 && format.bits === 16 && channels === 1) {
    return { samples: Buffer.from(data.subarray(0, frames * 2)), sampleRate: format.rate };
  }
  const samples = Buffer.alloc(frames * 2);
  for (let frame = 0, at = 0; frame < frames; frame++) {
    let sum = 0;
    for (let channel = 0; channel < channels; channel++, at += width) sum += read(data, at);
    const value = Math.round((sum / channels) * 32768);
    samples.writeInt16LE(Math.max(-32768, Math.min(32767, Number.isNaN(value) ? 0 : value)), frame * 2);
  }
  return { samples, sampleRate: format.rate };
}
