// The Node.js library against a host that writes the lines by hand, on the
// same audio, in interleaved rounds. Prints one JSON object.
//
//     node bench/clients/overhead.mjs EARSHOT [ROUNDS] [LATENCY_ROUNDS]
//
// wall: the five librivox recordings written at once to earshot (both hosts
// await 'drain'), spawn -> exit, and the host's own processor time. latency: the same audio in 100 ms lines, one
// every 10 ms, to stamping_stand_in.py, which answers each line with a final
// stamped with CLOCK_MONOTONIC; the host subtracts the stamp on delivery.
import { spawn } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { createInterface } from 'node:readline';
import { Transcriber } from '../../clients/node/src/index.js';

const [earshot, rounds = '7', latencyRounds = '3'] = process.argv.slice(2);
const standIn = new URL('./stamping_stand_in.py', import.meta.url).pathname;
const interval = 10; // ms between lines in the latency runs
const names = ['0870', '0880', '0890', '0920', '0930'];
const pcm = Buffer.concat(
  names.map((n) =>
    readFileSync(`/usr/share/pocketsphinx/test/data/librivox/sense_and_sensibility_01_austen_64kb-${n}.wav`).subarray(44),
  ),
);
const step = 3200; // 100 ms at 16 kHz
const now = () => performance.now();
const cpuSeconds = ({ user, system }) => (user + system) / 1e6; // this process's own
// Milliseconds since a CLOCK_MONOTONIC stamp in nanoseconds.
const sinceStamp = (stamp) => Number(process.hrtime.bigint() - BigInt(stamp)) / 1e6;
const sleepUntil = (t) => new Promise((resolve) => setTimeout(resolve, Math.max(0, t - now())));

async function byHand(paced) {
  const began = now();
  const cpu = process.cpuUsage();
  const child = spawn(paced ? standIn : earshot, [], { stdio: ['pipe', 'pipe', 'inherit'] });
  const finals = [];
  let t0 = 0;
  const ready = new Promise((resolve) => {
    createInterface({ input: child.stdout }).on('line', (line) => {
      const message = JSON.parse(line);
      if (message.type === 'ready') resolve();
      else if (message.type === 'transcript' && message.isFinal && message.sentAt) finals.push(sinceStamp(message.sentAt));
    });
  });
  const closed = new Promise((resolve) => child.on('close', resolve));
  const send = async (line) => {
    if (!child.stdin.write(line)) await new Promise((resolve) => child.stdin.once('drain', resolve));
  };
  await send('{"type":"init","locale":"en-US"}\n');
  await ready;
  t0 = now();
  for (let at = 0, i = 0; at < pcm.length; at += step, i++) {
    if (paced) await sleepUntil(t0 + i * interval);
    await send(`{"type":"audio","sampleRate":16000,"pcm":"${pcm.toString('base64', at, Math.min(at + step, pcm.length))}"}\n`);
  }
  child.stdin.end('{"type":"stop"}\n');
  await closed;
  return { wall: now() - began, cpu: cpuSeconds(process.cpuUsage(cpu)), finals };
}

async function withLibrary(paced) {
  const began = now();
  const cpu = process.cpuUsage();
  const transcriber = await Transcriber.start({ locale: 'en-US', executable: paced ? standIn : earshot });
  const finals = [];
  const t0 = now();
  transcriber.on('transcript', (r) => r.isFinal && r.sentAt && finals.push(sinceStamp(r.sentAt)));
  if (paced) {
    for (let at = 0, i = 0; at < pcm.length; at += step, i++) {
      await sleepUntil(t0 + i * interval);
      await transcriber.write(pcm.subarray(at, at + step), 16000);
    }
  } else {
    await transcriber.write(pcm, 16000);
  }
  await transcriber.stop();
  return { wall: now() - began, cpu: cpuSeconds(process.cpuUsage(cpu)), finals };
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const mid = sorted.length >> 1;
  return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

const hosts = { hand: byHand, library: withLibrary };
const fast = { hand: [], library: [] };
const cpu = { hand: [], library: [] };
for (let round = 0; round < Number(rounds); round++) {
  const order = round % 2 ? ['library', 'hand'] : ['hand', 'library'];
  for (const host of order) {
    const run = await hosts[host](false);
    fast[host].push(run.wall);
    cpu[host].push(run.cpu);
  }
}
const latency = { hand: [], library: [] }; // ms, every final of every round
for (let round = 0; round < Number(latencyRounds); round++) {
  const order = round % 2 ? ['library', 'hand'] : ['hand', 'library'];
  for (const host of order) latency[host].push(...(await hosts[host](true)).finals);
}
console.log(
  JSON.stringify({
    language: 'node',
    audioSeconds: pcm.length / 32000,
    rounds: Number(rounds),
    wall: { hand: median(fast.hand) / 1000, library: median(fast.library) / 1000 },
    cpu: { hand: median(cpu.hand), library: median(cpu.library) },
    latencyRounds: Number(latencyRounds),
    finals: latency.hand.length,
    latencyMs: { hand: median(latency.hand), library: median(latency.library) },
  }),
);
