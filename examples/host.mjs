#!/usr/bin/env node
// A host in a few lines with the earshot-client library (clients/node):
// prints the final transcripts of one recording, with their times.
//
//     node host.mjs EARSHOT RECORDING [LOCALE]
//
// RECORDING is a WAV file (integer or float samples, any rate from 8 to
// 192 kHz, any number of channels), or headerless 16-bit 16 kHz mono samples
// in a file named *.raw. Anything else is refused in one line.
import { readFileSync } from 'node:fs';
import { Transcriber, transcribeFile } from '../clients/node/src/index.js';

const [executable, path, locale = 'en-US'] = process.argv.slice(2);
if (!executable || !path) {
  console.error('usage: node host.mjs EARSHOT RECORDING [LOCALE]');
  process.exit(2);
}

async function rawFinals() {
  const pcm = readFileSync(path);
  const transcriber = await Transcriber.start({ locale, executable, options: { attributeOptions: ['audioTimeRange'] } });
  const finals = [];
  transcriber.on('transcript', (result) => result.isFinal && finals.push(result));
  await transcriber.write(pcm.subarray(0, pcm.length - (pcm.length % 2)), 16000);
  await transcriber.stop();
  return finals;
}

try {
  const finals = path.endsWith('.raw') ? await rawFinals() : await transcribeFile(path, { locale, executable });
  for (const { text, start = 0, end = 0 } of finals) {
    if (text) console.log(`${start.toFixed(2).padStart(6)}-${end.toFixed(2).padStart(6)}  ${text}`);
  }
} catch (error) {
  console.error(error.message);
  process.exitCode = error.code === 'invalid-file' ? 2 : 1;
}
