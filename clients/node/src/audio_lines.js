import { endianness } from 'node:os';

// Samples per "audio" line: 100 ms, short enough to keep latency low and
// long enough that the line's framing costs little.
const linesPerSecond = 10;

// The samples as little-endian 16-bit bytes, copied so that the caller may
// reuse its buffer at once.
export function sampleBytes(samples) {
  if (samples instanceof Int16Array) {
    const bytes = Buffer.from(samples.buffer, samples.byteOffset, samples.byteLength);
    const copy = Buffer.from(bytes);
    if (endianness() === 'BE') copy.swap16();
    return copy;
  }
  if (samples instanceof Uint8Array) {
    if (samples.byteLength % 2 !== 0) {
      throw new RangeError(
        `samples hold ${samples.byteLength} bytes: 16-bit samples need an even number of bytes`,
      );
    }
    return Buffer.from(samples);
  }
  throw new TypeError('samples must be an Int16Array or a Buffer of 16-bit little-endian samples');
}

// The rates earshot takes, in Hz.
export const lowestRate = 8000;
export const highestRate = 192000;

export function checkRate(sampleRate) {
  if (typeof sampleRate !== 'number') {
    throw new TypeError(`sampleRate must be a number of samples per second, not ${typeof sampleRate}`);
  }
  if (!(sampleRate >= lowestRate && sampleRate <= highestRate)) {
    throw new RangeError(
      `sampleRate ${sampleRate} is outside the accepted range of ${lowestRate} to ${highestRate} Hz`,
    );
  }
}

// The "audio" lines for `bytes` at `sampleRate`, one per 100 ms.
export function* audioLines(bytes, sampleRate) {
  const step = Math.max(1, Math.round(sampleRate / linesPerSecond)) * 2;
  const head = `{"type":"audio","sampleRate":${sampleRate},"pcm":"`;
  for (let at = 0; at < bytes.length; at += step) {
    yield head + bytes.toString('base64', at, Math.min(at + step, bytes.length)) + '"}\n';
  }
}
