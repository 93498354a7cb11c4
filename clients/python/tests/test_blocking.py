"""The blocking API and the demo against the built program."""

import os
import subprocess
import sys
import unittest

from .processes import is_running
from .support import REPOSITORY, OwnHome, by_hand, finals, recording

from earshot_client import BlockingTranscriber, EarshotError


class BlockingTest(OwnHome, unittest.TestCase):
    def test_two_recordings_with_a_flush_between_then_stop(self):
        first, second = recording("0880"), recording("0930")
        with BlockingTranscriber("en-US", env=self.home.env) as t:
            t.write(first, 16000)
            t.flush()
            t.write(second, 16000)
            t.stop()
            results = list(t)
        self.assertFalse(is_running(t.pid))
        before, after = by_hand([first, second], self.home.env)
        self.assertEqual(finals(results), finals(before + after))

    def test_an_unsupported_locale_fails_with_earshots_text(self):
        with self.assertRaisesRegex(EarshotError, "^Apple Speech does not support language xx-YY"):
            BlockingTranscriber("xx-YY", env=self.home.env)

    def test_an_exception_in_the_with_block_kills_the_process(self):
        with self.assertRaises(KeyError):
            with BlockingTranscriber("en-US", env=self.home.env) as t:
                t.write(recording("0870"), 16000)
                raise KeyError("host bug")
        self.assertFalse(is_running(t.pid))

    def test_the_demo_prints_the_finals_of_a_wav_file(self):
        path = "/usr/share/pocketsphinx/test/data/librivox/" \
               "sense_and_sensibility_01_austen_64kb-0880.wav"
        env = dict(self.home.env, PYTHONPATH=os.path.join(REPOSITORY, "clients", "python"))
        run = subprocess.run([sys.executable, "-m", "earshot_client", path], env=env,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        self.assertEqual((run.returncode, run.stderr), (0, b""))
        expected = [t for t in finals(by_hand([recording("0880")], self.home.env)[0]) if t]
        self.assertEqual(run.stdout.decode().splitlines(), expected)


if __name__ == "__main__":
    unittest.main()
