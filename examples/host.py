#!/usr/bin/env python3
"""A host in a few lines with the earshot_client library (clients/python):
prints the final transcripts of one recording, with their times.

    host.py EARSHOT RECORDING [LOCALE]

RECORDING is a WAV file (integer or float samples, any rate from 8 to
192 kHz, any number of channels), or headerless 16-bit 16 kHz mono samples
in a file named *.raw. Anything else is refused in one line.
"""
import os
import sys
from typing import List

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clients", "python"))
from earshot_client import BlockingTranscriber, EarshotError, Transcript  # noqa: E402
from earshot_client.blocking import transcribe_file  # noqa: E402


def raw_finals(executable: str, path: str, locale: str) -> List[Transcript]:
    with open(path, "rb") as f:
        pcm = f.read()
    with BlockingTranscriber(locale, executable=executable,
                             options={"attributeOptions": ["audioTimeRange"]}) as transcriber:
        transcriber.write(pcm[:len(pcm) // 2 * 2], 16000)
        transcriber.stop()
        return [result for result in transcriber if result.is_final]


def main() -> int:
    if len(sys.argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    executable, path = sys.argv[1], sys.argv[2]
    locale = sys.argv[3] if len(sys.argv) > 3 else "en-US"
    try:
        if path.endswith(".raw"):
            finals = raw_finals(executable, path, locale)
        else:
            finals = transcribe_file(path, locale, executable=executable)
    except EarshotError as error:
        print(error, file=sys.stderr)
        return 2 if error.code == "invalid-file" else 1
    for result in finals:
        if result.text:
            print("%6.2f-%6.2f  %s" % (result.start or 0, result.end or 0, result.text), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
