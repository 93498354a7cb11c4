#!/usr/bin/env node
// A minimal earshot host in Node.js, built-in modules only.
//
// Starts earshot, sends it one recording and prints each final transcript.
//
//     node host.js EARSHOT RECORDING [LOCALE]
//
// RECORDING is a 16-bit mono WAV file at any rate from 8 to 192 kHz, or a
// headerless file of 16 kHz signed 16-bit little-endian mono samples.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const readline = require('readline');

// Returns { pcm: Buffer of samples, rate }.
function readRecording(path) {
  const data = fs.readFileSync(path);
  if (data.toString('latin1', 0, 4) !== 'RIFF') return { pcm: data, rate: 16000 };
  // Walk the RIFF chunks: "fmt " holds the format, "data" the samples.
  let rate = 0;
  let pcm = null;
  for (let at = 12; at + 8 <= data.length;) {
    const id = data.toString('latin1', at, at + 4);
    const size = data.readUInt32LE(at + 4);
    if (id === 'fmt ') {
      const channels = data.readUInt16LE(at + 10);
      const bits = data.readUInt16LE(at + 22);
      if (channels !== 1 || bits !== 16) throw new Error('the WAV file must be 16-bit mono');
      rate = data.readUInt32LE(at + 12);
    } else if (id === 'data') {
      pcm = data.subarray(at + 8, at + 8 + size);
    }
    at += 8 + size + (size % 2);
  }
  if (!rate || !pcm) throw new Error('not a WAV file with audio');
  return { pcm, rate };
}

function main() {
  const [earshot, path, locale = 'en-US'] = process.argv.slice(2);
  if (!earshot || !path) {
    console.error('usage: node host.js EARSHOT RECORDING [LOCALE]');
    process.exit(2);
  }
  const { pcm, rate } = readRecording(path);

  const child = spawn(earshot, [], { stdio: ['pipe', 'pipe', 'inherit'] });
  const errors = [];

  // Transcripts come while we are still sending; this listener handles
  // them as they arrive.
  readline.createInterface({ input: child.stdout }).on('line', (line) => {
    const message = JSON.parse(line);
    if (message.type === 'transcript' && message.isFinal && message.text) {
      console.log(message.text);
    } else if (message.type === 'error') {
      errors.push(message.message);
    }
  });
  // If earshot ends early, writes fail with EPIPE; its "error" line says why.
  child.stdin.on('error', () => {});
  child.on('close', (status) => {
    for (const text of errors) console.error(text);
    process.exitCode = status === null ? 1 : status;
  });

  const send = (message) => child.stdin.write(JSON.stringify(message) + '\n');
  send({ type: 'init', locale });
  const step = Math.floor(rate / 10) * 2;  // 100 ms of audio: two bytes per sample
  for (let at = 0; at < pcm.length; at += step) {
    send({ type: 'audio', sampleRate: rate, pcm: pcm.subarray(at, at + step).toString('base64') });
  }
  send({ type: 'stop' });
  child.stdin.end();
}

main();
