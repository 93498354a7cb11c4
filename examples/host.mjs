#!/usr/bin/env node
// A host in a few lines with the earshot-client library (clients/node):
// prints the final transcripts of one recording.
//
//     node host.js EARSHOT RECORDING [LOCALE]
//
// RECORDING is 16-bit mono WAV (its 44-byte header skipped) or headerless
// 16 kHz samples.
import { readFileSync } from 'node:fs';
import { Transcriber } from '../clients/node/src/index.js';

const [executable, path, locale = 'en-US'] = process.argv.slice(2);
if (!executable || !path) {
  console.error('usage: node host.js EARSHOT RECORDING [LOCALE]');
  process.exit(2);
}
const data = readFileSync(path);
const isWav = data.toString('latin1', 0, 4) === 'RIFF';
const rate = isWav ? data.readUInt32LE(24) : 16000;
try {
  const transcriber = await Transcriber.start({ locale, executable });
  transcriber.on('transcript', ({ text, isFinal }) => isFinal && text && console.log(text));
  await transcriber.write(isWav ? data.subarray(44) : data, rate);
  await transcriber.stop();
} catch (error) {
  console.error(error.message);
  process.exitCode = 1;
}
