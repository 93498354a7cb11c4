#!/usr/bin/env python3
"""A stand-in for earshot that stamps its finals, for measuring what a host
library adds to their delivery: "ready" after "init", then for each "audio"
line a final transcript whose "sentAt" member is CLOCK_MONOTONIC in
nanoseconds just before the line is written, "flushed" after a "flush" of an
init that asked for it, and "stopped" after "stop" or the end of input."""

import json
import os
import sys
import time


def main():
    out = sys.stdout.buffer
    acknowledge = False
    for line in sys.stdin.buffer:
        kind = json.loads(line).get("type")
        if kind == "init":
            acknowledge = json.loads(line).get("acknowledgeFlush") is True
            reply = {"type": "ready", "locale": "en-US", "sampleRate": 16000}
        elif kind == "audio":
            reply = {"type": "transcript", "text": "go forward ten meters", "isFinal": True,
                     "sentAt": time.monotonic_ns()}
        elif kind == "flush" and acknowledge:
            reply = {"type": "flushed"}
        elif kind == "stop":
            break
        else:
            continue
        out.write(json.dumps(reply, separators=(",", ":")).encode() + b"\n")
        out.flush()
    out.write(b'{"type":"stopped"}\n')
    out.flush()
    os._exit(0)


if __name__ == "__main__":
    main()
