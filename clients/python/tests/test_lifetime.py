"""A host that ends, or forgets a transcriber, without stopping it leaves no
earshot process behind."""

import os
import subprocess
import sys
import unittest

from .processes import ends, is_running
from .support import REPOSITORY, OwnHome

# Each host starts earshot, prints its pid and queues a recording, with
# `started()` (asyncio) or `blocking()`, then ends its own way.
_PROLOGUE = """
import asyncio, gc, os, sys, wave
from earshot_client import BlockingTranscriber, Transcriber
with wave.open("/usr/share/pocketsphinx/test/data/librivox/"
               "sense_and_sensibility_01_austen_64kb-0870.wav") as w:
    pcm = w.readframes(w.getnframes())
async def started():
    t = await Transcriber.start("en-US")
    print(t.pid, flush=True)
    await t.write(pcm, 16000)
    return t
def blocking():
    t = BlockingTranscriber("en-US")
    print(t.pid, flush=True)
    t.write(pcm, 16000)
    return t
"""

_ENDINGS = {
    "returns from asyncio.run while audio is queued": """
async def main():
    await started()
asyncio.run(main())
""",
    "calls sys.exit from a blocking transcriber": """
t = blocking()
sys.exit(3)
""",
    "dies of an uncaught exception with a flush outstanding": """
async def main():
    t = await started()
    asyncio.ensure_future(t.flush())
    raise RuntimeError("host bug")
asyncio.run(main())
""",
    "calls os._exit, which runs no exit handler": """
t = blocking()
os._exit(0)
""",
}


class LifetimeTest(OwnHome, unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.env = dict(cls.home.env, PYTHONPATH=os.path.join(REPOSITORY, "clients", "python"))

    def host(self, body):
        run = subprocess.run([sys.executable, "-c", _PROLOGUE + body], env=self.env,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
        return run.returncode, run.stdout.decode().split()

    def test_a_host_that_ends_without_stopping_leaves_no_child(self):
        for how, body in _ENDINGS.items():
            with self.subTest(how):
                status, out = self.host(body)
                self.assertTrue(out, "no pid printed")
                # Without exit handlers, earshot ends on its own once it has
                # recognised what it read; that takes a while on a busy machine.
                self.assertTrue(ends(int(out[0]), 60), "earshot %s still runs" % out[0])

    def test_a_transcriber_the_host_dropped_is_killed_while_the_host_runs_on(self):
        status, out = self.host("""
from tests.processes import ends
t = blocking()
pid = t.pid
del t
gc.collect()
print("gone" if ends(pid, 5) else "running", flush=True)
""")
        self.assertEqual(status, 0)
        self.assertEqual(out[1:], ["gone"], "killed while the host still ran")
        self.assertFalse(is_running(int(out[0])))


if __name__ == "__main__":
    unittest.main()
