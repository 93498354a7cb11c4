#!/usr/bin/env python3
"""The Python library (asyncio and blocking) against a host that writes the
lines by hand (a reader thread and blocking writes), on the same audio, in
interleaved rounds. Prints one JSON object.

    python3 bench/clients/overhead.py EARSHOT [ROUNDS] [LATENCY_ROUNDS]

wall: the five librivox recordings written at once to earshot, spawn ->
exit, and the host's own processor time (all its threads). latency: the same audio in 100 ms lines, one every 10 ms, to
stamping_stand_in.py, which answers each line with a final stamped with
CLOCK_MONOTONIC; the host subtracts the stamp on delivery.
"""

import asyncio
import base64
import json
import os
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "clients", "python"))
from earshot_client import BlockingTranscriber, Transcriber  # noqa: E402

STAND_IN = os.path.join(HERE, "stamping_stand_in.py")
STEP = 3200  # 100 ms at 16 kHz
INTERVAL = 0.010  # between lines in the latency runs
PCM = b"".join(
    open("/usr/share/pocketsphinx/test/data/librivox/"
         "sense_and_sensibility_01_austen_64kb-%s.wav" % n, "rb").read()[44:]
    for n in ("0870", "0880", "0890", "0920", "0930"))


def since_stamp(stamp):
    return (time.monotonic_ns() - stamp) / 1e6


def chunks():
    return [PCM[at:at + STEP] for at in range(0, len(PCM), STEP)]


def by_hand(program, paced):
    began, cpu = time.monotonic(), time.process_time()
    child = subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    finals = []
    ready = threading.Event()

    def read():
        for line in child.stdout:
            message = json.loads(line)
            if message["type"] == "ready":
                ready.set()
            elif message["type"] == "transcript" and message["isFinal"] and "sentAt" in message:
                finals.append(since_stamp(message["sentAt"]))

    reader = threading.Thread(target=read)
    reader.start()
    child.stdin.write(b'{"type":"init","locale":"en-US"}\n')
    child.stdin.flush()
    ready.wait()
    t0 = time.monotonic()
    for i, chunk in enumerate(chunks()):
        if paced:
            time.sleep(max(0.0, t0 + i * INTERVAL - time.monotonic()))
        child.stdin.write(b'{"type":"audio","sampleRate":16000,"pcm":"' +
                          base64.b64encode(chunk) + b'"}\n')
        if paced:
            child.stdin.flush()
    child.stdin.write(b'{"type":"stop"}\n')
    child.stdin.close()
    reader.join()
    child.wait()
    return time.monotonic() - began, time.process_time() - cpu, finals


def with_asyncio(program, paced):
    async def run():
        began, cpu = time.monotonic(), time.process_time()
        finals = []

        def take(result):
            if result.is_final and "sentAt" in result.extra:
                finals.append(since_stamp(result.extra["sentAt"]))

        async with Transcriber("en-US", executable=program, on_transcript=take) as t:
            if paced:
                t0 = time.monotonic()
                for i, chunk in enumerate(chunks()):
                    await asyncio.sleep(max(0.0, t0 + i * INTERVAL - time.monotonic()))
                    await t.write(chunk, 16000)
            else:
                await t.write(PCM, 16000)
        return time.monotonic() - began, time.process_time() - cpu, finals
    return asyncio.run(run())


def with_blocking(program, paced):
    began, cpu = time.monotonic(), time.process_time()
    finals = []

    def take(result):
        if result.is_final and "sentAt" in result.extra:
            finals.append(since_stamp(result.extra["sentAt"]))

    with BlockingTranscriber("en-US", executable=program, on_transcript=take) as t:
        if paced:
            t0 = time.monotonic()
            for i, chunk in enumerate(chunks()):
                time.sleep(max(0.0, t0 + i * INTERVAL - time.monotonic()))
                t.write(chunk, 16000)
        else:
            t.write(PCM, 16000)
    return time.monotonic() - began, time.process_time() - cpu, finals


def main():
    earshot = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    latency_rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    hosts = {"hand": by_hand, "asyncio": with_asyncio, "blocking": with_blocking}
    wall = {name: [] for name in hosts}
    cpu = {name: [] for name in hosts}
    latency = {name: [] for name in hosts}
    for round_ in range(rounds + latency_rounds):
        paced = round_ >= rounds
        names = list(hosts)
        names = names[round_ % len(names):] + names[:round_ % len(names)]  # rotate the order
        for name in names:
            seconds, processor, finals = hosts[name](STAND_IN if paced else earshot, paced)
            if paced:
                latency[name].extend(finals)
            else:
                wall[name].append(seconds)
                cpu[name].append(processor)
    median = lambda values: statistics.median(values) if values else None  # noqa: E731
    print(json.dumps({
        "language": "python",
        "audioSeconds": len(PCM) / 32000,
        "rounds": rounds,
        "wall": {name: median(values) for name, values in wall.items()},
        "cpu": {name: median(values) for name, values in cpu.items()},
        "latencyRounds": latency_rounds,
        "finals": len(latency["hand"]),
        "latencyMs": {name: median(values) for name, values in latency.items()},
    }))


if __name__ == "__main__":
    main()
