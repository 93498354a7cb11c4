"""python -m earshot_client FILE: prints the final transcripts of a WAV file.

    python -m earshot_client recording.wav [--locale en-US] [--partials]

The WAV file holds 16-bit samples at any rate from 8 to 192 kHz; channels
are mixed to mono. earshot is found as the library finds it.
"""

import argparse
import array
import sys
import wave

from .blocking import BlockingTranscriber
from .errors import EarshotError


def read_wav(path):
    """Returns (mono 16-bit samples, sample rate)."""
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            raise SystemExit("%s: not 16-bit samples" % path)
        channels, rate = w.getnchannels(), w.getframerate()
        samples = array.array("h", w.readframes(w.getnframes()))
    if sys.byteorder == "big":
        samples.byteswap()
    if channels > 1:
        frames = [samples[c::channels] for c in range(channels)]
        samples = array.array("h", (sum(f) // channels for f in zip(*frames)))
    return samples, rate


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python -m earshot_client",
                                     description="Prints the final transcripts of a WAV file.")
    parser.add_argument("file")
    parser.add_argument("--locale", default=None, help="default: the user's locale")
    parser.add_argument("--executable", default=None, help="the earshot program")
    parser.add_argument("--partials", action="store_true", help="print partial results too")
    args = parser.parse_args(argv)
    samples, rate = read_wav(args.file)
    try:
        with BlockingTranscriber(args.locale, executable=args.executable) as t:
            t.write(samples, rate)
            t.stop()
            for result in t:
                if result.is_final and result.text:
                    print(result.text, flush=True)
                elif args.partials and not result.is_final:
                    print("...", result.text, flush=True)
    except EarshotError as error:
        print("earshot: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
