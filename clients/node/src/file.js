import { readFile } from 'node:fs/promises';
import { Transcriber } from './transcriber.js';
import { decodeWav } from './wav.js';

// Transcribes a WAV file with one earshot and resolves with its final
// results. earshot is asked for word times ("audioTimeRange") on top of
// `options`; `onProgress(fraction)` follows how far into the file the
// results have come, and gets 1 at the end.
export async function transcribeFile(path, { onProgress, signal, options, ...settings } = {}) {
  const { samples, sampleRate } = decodeWav(await readFile(path), path);
  const seconds = samples.length / 2 / sampleRate;
  const attributes = new Set([...(options?.attributeOptions ?? []), 'audioTimeRange']);
  const transcriber = await Transcriber.start({
    ...settings,
    signal,
    options: { ...options, attributeOptions: [...attributes] },
  });
  let reported = 0;
  const report = (fraction) => {
    if (fraction <= reported) return;
    reported = fraction;
    onProgress?.(fraction);
  };
  const finals = [];
  transcriber.on('transcript', (result) => {
    if (result.isFinal) finals.push(result);
    if (typeof result.end === 'number' && seconds > 0) report(Math.min(0.99, result.end / seconds));
  });
  // stop() is queued behind the write, and its signal covers both.
  const writing = transcriber.write(samples, sampleRate);
  const stopping = transcriber.stop({ signal });
  try {
    await writing;
    await stopping;
  } catch (error) {
    stopping.catch(() => {});
    await transcriber.close();
    throw error;
  }
  report(1);
  return finals;
}
