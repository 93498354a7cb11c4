#!/usr/bin/python3
"""What the written form costs a live process, against "textForm": "spoken":
spawn -> "ready" with "init" at once (median of ROUNDS), and memory after a
final of goforward.raw (/proc/PID/smaps_rollup).

    python3 bench/text_form_cost.py BUILD/earshot [ROUNDS]
"""
import base64
import os
import statistics
import subprocess
import sys
import tempfile
import time

RECORDING = "/usr/share/pocketsphinx/test/data/goforward.raw"
FORMS = {
    "written": b'{"type":"init","locale":"en-US"}\n',
    "spoken": b'{"type":"init","locale":"en-US","textForm":"spoken"}\n',
}


def start(program, state):
    env = dict(os.environ, XDG_STATE_HOME=state)
    return subprocess.Popen([program], stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env)


def to_ready(program, state, init):
    begin = time.monotonic()
    child = start(program, state)
    child.stdin.write(init)
    child.stdin.flush()
    child.stdout.readline()
    took = time.monotonic() - begin
    child.stdin.write(b'{"type":"stop"}\n')
    child.stdin.close()
    child.wait()
    return took


def memory_after_a_final(program, state, init):
    pcm = open(RECORDING, "rb").read()
    child = start(program, state)
    child.stdin.write(init)
    for at in range(0, len(pcm), 3200):
        chunk = base64.b64encode(pcm[at:at + 3200])
        child.stdin.write(b'{"type":"audio","pcm":"%s","sampleRate":16000}\n' % chunk)
    child.stdin.write(b'{"type":"flush"}\n')
    child.stdin.flush()
    while b'"isFinal":true' not in child.stdout.readline():
        pass
    rollup = open("/proc/%d/smaps_rollup" % child.pid).read()
    child.stdin.write(b'{"type":"stop"}\n')
    child.stdin.close()
    child.wait()
    fields = dict(line.split()[:2] for line in rollup.splitlines()[1:])
    return {name: int(fields[name + ":"]) / 1024 for name in ("Rss", "Pss", "Private_Dirty")}


def main():
    program = sys.argv[1]
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    print("load average: %s" % open("/proc/loadavg").read().split(" ", 3)[:3])
    with tempfile.TemporaryDirectory() as state:
        for form, init in FORMS.items():
            ready = statistics.median(to_ready(program, state, init) for _ in range(rounds))
            memory = memory_after_a_final(program, state, init)
            print("%-8s spawn -> ready %.3f s; RSS %.1f MB, PSS %.1f MB, private written %.1f MB"
                  % (form, ready, memory["Rss"], memory["Pss"], memory["Private_Dirty"]))


if __name__ == "__main__":
    main()
