#!/usr/bin/env python3
"""Time from a host's exit to its earshot's exit, for each library and each
way a host can end, with 25 s of speech queued so that earshot would have
work left. Prints a Markdown table of medians.

    python3 bench/clients/host_exit.py EARSHOT [ROUNDS]

The host prints earshot's pid once it has written the audio, then ends: its
script runs out (Node.js) or it leaves asyncio.run (Python), it exits
(process.exit / sys.exit), it throws, or this script sends it SIGTERM or
SIGKILL. The clock starts when the host has been reaped and stops when
/proc shows earshot gone or a zombie (polled every millisecond)."""

import os
import signal
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CLIENTS = os.path.join(HERE, "..", "..", "clients")
sys.path.insert(0, os.path.join(CLIENTS, "python"))
from tests.processes import is_running  # noqa: E402

RECORDINGS = ["/usr/share/pocketsphinx/test/data/librivox/"
              "sense_and_sensibility_01_austen_64kb-%s.wav" % n
              for n in ("0870", "0880", "0890", "0920", "0930")]

NODE = """
import { readFileSync } from 'node:fs';
import { Transcriber } from %(library)r;
const pcm = Buffer.concat(%(recordings)s.map((p) => readFileSync(p).subarray(44)));
const t = await Transcriber.start({ locale: 'en-US', executable: %(earshot)r });
const writing = t.write(pcm, 16000);
console.log(t.pid);
%(ending)s
"""
NODE_ENDINGS = {
    "script runs out": "",
    "exit()": "await writing; process.exit(3);",
    "throws": "await writing; throw new Error('host bug');",
    "SIGTERM": "await t.stop();",
    "SIGKILL": "await t.stop();",
}

PYTHON = """
import asyncio, sys
sys.path.insert(0, %(library)r)
from earshot_client import Transcriber
pcm = b"".join(open(p, "rb").read()[44:] for p in %(recordings)r)
async def main():
    t = await Transcriber.start("en-US", executable=%(earshot)r)
    writing = asyncio.ensure_future(t.write(pcm, 16000))
    print(t.pid, flush=True)
    %(ending)s
asyncio.run(main())
"""
PYTHON_ENDINGS = {
    "script runs out": "await writing",
    "exit()": "await writing; sys.exit(3)",
    "throws": "await writing; raise RuntimeError('host bug')",
    "SIGTERM": "await t.stop()",
    "SIGKILL": "await t.stop()",
}


def once(command, how):
    host = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    pid = int(host.stdout.readline())
    if how.startswith("SIG"):
        host.send_signal(getattr(signal, how))
    host.wait()
    began = time.monotonic()
    while is_running(pid):
        if time.monotonic() - began > 120:
            os.kill(pid, signal.SIGKILL)
            return float("inf")
        time.sleep(0.001)
    return time.monotonic() - began


def main():
    earshot = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    hosts = {
        "Node.js": (NODE, NODE_ENDINGS, lambda script: ["node", "--input-type=module", "-e", script],
                    "file://" + os.path.abspath(os.path.join(CLIENTS, "node", "src", "index.js"))),
        "Python, asyncio": (PYTHON, PYTHON_ENDINGS, lambda script: [sys.executable, "-c", script],
                            os.path.abspath(os.path.join(CLIENTS, "python"))),
    }
    print("| host | " + " | ".join(NODE_ENDINGS) + " |")
    print("|---" * (len(NODE_ENDINGS) + 1) + "|")
    for name, (template, endings, command, library) in hosts.items():
        cells = []
        for how, ending in endings.items():
            script = template % {"library": library, "recordings": RECORDINGS,
                                 "earshot": earshot, "ending": ending}
            times = [once(command(script), how) for _ in range(rounds)]
            cells.append("%.0f ms" % (1000 * statistics.median(times)))
        print("| %s | %s |" % (name, " | ".join(cells)))
    print("\nmedians of %d rounds" % rounds)


if __name__ == "__main__":
    main()
