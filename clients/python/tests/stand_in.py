"""Helpers of the logic tests: conversations replayed by tests/clients/
stand_in.py in place of earshot (no engine, milliseconds a test), and what
the library sent it."""

import os
import shutil
import subprocess
import sys
import tempfile
from typing import Dict, List, Optional, Tuple

HERE = os.path.dirname(os.path.abspath(__file__))
REPOSITORY = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
CLIENTS_TESTS = os.path.join(REPOSITORY, "tests", "clients")
STAND_IN = os.path.join(CLIENTS_TESTS, "stand_in.py")
LIBRARY = os.path.join(REPOSITORY, "clients", "python")
sys.path.insert(0, LIBRARY)

READY = '< {"type":"ready","locale":"en-US","sampleRate":16000}'


class Conversation:
    """The recorded conversation `name` (tests/clients/conversations), or one
    given as `text`; a context manager that removes its files."""

    def __init__(self, name: Optional[str] = None, text: Optional[str] = None) -> None:
        self.folder = tempfile.mkdtemp(prefix="earshot-stand-in-")
        if name:
            path = os.path.join(CLIENTS_TESTS, "conversations", name + ".conversation")
        else:
            path = os.path.join(self.folder, "conversation")
            with open(path, "w") as f:
                f.write(text or "")
        self.log = os.path.join(self.folder, "log")
        open(self.log, "w").close()
        self.executable = STAND_IN
        self.env: Dict[str, str] = dict(os.environ, STAND_IN_CONVERSATION=path,
                                         STAND_IN_LOG=self.log, PYTHONPATH=LIBRARY)

    def sent(self) -> List[str]:
        """The lines the library sent: "init", "audio RATE BYTES", "flush", "stop"."""
        with open(self.log) as f:
            return [line for line in f.read().split("\n") if line]

    def __enter__(self) -> "Conversation":
        return self

    def __exit__(self, *exc: object) -> None:
        shutil.rmtree(self.folder, ignore_errors=True)


def after_ready(*entries: str) -> Conversation:
    return Conversation(text="\n".join(["> init", READY, *entries, ""]))


def host(body: str, env: Dict[str, str]) -> Tuple[int, List[str], str]:
    """Runs a host script with `env`: (status, output lines, standard error)."""
    run = subprocess.run([sys.executable, "-c", body], env=env, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=60)
    return run.returncode, run.stdout.decode().split("\n")[:-1], run.stderr.decode()


TENTH = b"\x01\x00" * 1600  # 100 ms at 16 kHz
