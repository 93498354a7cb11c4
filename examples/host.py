#!/usr/bin/env python3
"""A host in a few lines with the earshot_client library (clients/python):
prints the final transcripts of one recording.

    host.py EARSHOT RECORDING [LOCALE]

RECORDING is 16-bit mono WAV at any rate, or headerless 16 kHz samples.
"""
import os
import sys
import wave

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "clients", "python"))
from earshot_client import BlockingTranscriber, EarshotError  # noqa: E402


def read_recording(path):
    """Returns (sample bytes, sample rate)."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF":
        return data, 16000
    with wave.open(path, "rb") as w:
        return w.readframes(w.getnframes()), w.getframerate()


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    pcm, rate = read_recording(sys.argv[2])
    try:
        with BlockingTranscriber(sys.argv[3] if len(sys.argv) > 3 else "en-US",
                                 executable=sys.argv[1]) as transcriber:
            transcriber.write(pcm, rate)
            transcriber.stop()
            for result in transcriber:
                if result.is_final and result.text:
                    print(result.text, flush=True)
    except EarshotError as error:
        sys.exit(str(error))


if __name__ == "__main__":
    main()
