"""Helpers of the tests: a throwaway home, the packaged recordings, earshot
run by hand for reference."""

import base64
import json
import os
import subprocess
import sys
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
REPOSITORY = os.path.normpath(os.path.join(HERE, "..", "..", ".."))
sys.path.insert(0, os.path.join(REPOSITORY, "tests", "clients"))
sys.path.insert(0, os.path.join(REPOSITORY, "clients", "python"))

from catalog_home import CATALOG_LOCALE, CatalogHome  # noqa: E402,F401

EXECUTABLE = os.environ.get("EARSHOT_EXECUTABLE")
if not EXECUTABLE:
    raise RuntimeError("set EARSHOT_EXECUTABLE to the earshot program under test")

_RECORDINGS = "/usr/share/pocketsphinx/test/data/librivox"


class OwnHome:
    """Mixed into a test class: its tests share one throwaway home without a
    catalog, `cls.home`."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.home = CatalogHome(with_catalog=False).__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.home.__exit__(None, None, None)
        super().tearDownClass()


def recording(name: str) -> bytes:
    """A packaged 16 kHz mono recording's samples."""
    path = os.path.join(_RECORDINGS, "sense_and_sensibility_01_austen_64kb-%s.wav" % name)
    with wave.open(path, "rb") as w:
        return w.readframes(w.getnframes())


def by_hand(recordings, env) -> list:
    """The transcript messages earshot writes for recordings sent by hand in
    the same 100 ms lines the library sends, with a flush between recordings:
    one list per recording. (A session after a flush may differ from a fresh
    process's: the engine keeps adapting to the speaker.)"""
    lines = [b'{"type":"init","locale":"en-US","acknowledgeFlush":true}']
    for index, pcm in enumerate(recordings):
        if index:
            lines.append(b'{"type":"flush"}')
        for at in range(0, len(pcm), 3200):
            lines.append(b'{"type":"audio","sampleRate":16000,"pcm":"' +
                         base64.b64encode(pcm[at:at + 3200]) + b'"}')
    lines.append(b'{"type":"stop"}')
    run = subprocess.run([EXECUTABLE], input=b"\n".join(lines) + b"\n", env=env,
                         stdout=subprocess.PIPE, check=True)
    sessions = [[]]
    for line in run.stdout.splitlines():
        message = json.loads(line)
        if message["type"] == "flushed":
            sessions.append([])
        elif message["type"] == "transcript":
            sessions[-1].append(message)
    return sessions


def finals(results) -> list:
    """The final texts of Transcripts or of transcript messages."""
    out = []
    for r in results:
        if isinstance(r, dict):
            if r["isFinal"]:
                out.append(r["text"])
        elif r.is_final:
            out.append(r.text)
    return out
