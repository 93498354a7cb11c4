"""python -m earshot_client FILE: prints the final transcripts of a WAV file.

    python -m earshot_client recording.wav [--locale en-US] [--progress]

The WAV file holds integer or float samples at any rate from 8 to 192 kHz,
in any number of channels (mixed to mono). earshot is found as the library
finds it.
"""

import argparse
import sys
from typing import List, Optional

from .blocking import transcribe_file
from .errors import EarshotError


def main(argv: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m earshot_client",
                                     description="Prints the final transcripts of a WAV file.")
    parser.add_argument("file")
    parser.add_argument("--locale", default=None, help="default: the user's locale")
    parser.add_argument("--executable", default=None, help="the earshot program")
    parser.add_argument("--progress", action="store_true",
                        help="show how far it has come on standard error")
    args = parser.parse_args(argv)

    def show(fraction: float) -> None:
        print("\r%3d%%" % round(100 * fraction), end="", file=sys.stderr, flush=True)

    try:
        finals = transcribe_file(args.file, args.locale, executable=args.executable,
                                 on_progress=show if args.progress else None)
    except EarshotError as error:
        if args.progress:
            print(file=sys.stderr)
        print("earshot: %s" % error, file=sys.stderr)
        return 2 if error.code == "invalid-file" else 1
    if args.progress:
        print(file=sys.stderr)
    for result in finals:
        if result.text:
            print(result.text, flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
