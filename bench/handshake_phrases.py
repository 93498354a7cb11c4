#!/usr/bin/env python3
"""Start -> "ready" of the built program with and without contextual phrases.

    bench/handshake_phrases.py BUILD_DIR [COUNT]

Runs the program REPEAT times each way, alternating, with the first COUNT
phrases (default 100) of bench/speech/unrelated.phrases, and prints the
medians and their ratio.
"""
import json
import os
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from engine_live import INIT, REPEAT, start_to_ready  # noqa: E402


def main():
    build = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "speech", "unrelated.phrases")) as f:
        phrases = [line.strip() for line in f if line.strip()][:count]
    taught = (json.dumps({"type": "init", "locale": "en-US",
                          "contextualStrings": phrases}) + "\n").encode()
    without, with_ = [], []
    for _ in range(REPEAT):
        without.append(start_to_ready(build, INIT))
        with_.append(start_to_ready(build, taught))
    a, b = statistics.median(without), statistics.median(with_)
    print("start -> ready, median of %d: %.3f s without phrases, %.3f s with %d (x%.2f)"
          % (REPEAT, a, b, len(phrases), b / a))


if __name__ == "__main__":
    main()
