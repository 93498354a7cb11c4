"""Every error text docs/protocol.md documents has the code its table of
codes gives it, and the library's own failures have theirs."""

import json
import os
import subprocess
import sys
import tempfile
import unittest

from .stand_in import CLIENTS_TESTS, TENTH, Conversation, after_ready

from earshot_client import EarshotError, Transcriber, code_of, list_locales

DOCUMENTED = json.loads(subprocess.run(
    [sys.executable, os.path.join(CLIENTS_TESTS, "documented_errors.py")],
    stdout=subprocess.PIPE, check=True).stdout)


class DocumentedTest(unittest.TestCase):
    def test_every_documented_text_maps_to_the_code_of_the_table_beside_it(self):
        self.assertGreaterEqual(len(DOCUMENTED), 20, "the texts were found")
        for entry in DOCUMENTED:
            self.assertEqual(code_of(entry["text"]), entry["code"], entry["text"])
        self.assertEqual(code_of("a recognizer failure of its own"), "engine-failed")


class ReportedTest(unittest.IsolatedAsyncioTestCase):
    async def test_the_transcriber_and_the_one_shot_modes_carry_the_code(self):
        for entry in DOCUMENTED[::4]:
            line = "< " + json.dumps({"type": "error", "message": entry["text"]})
            with self.subTest(entry["text"]), \
                    Conversation(text="> init\n%s\n! exit 1\n" % line) as live, \
                    Conversation(text="%s\n! exit 1\n" % line) as one_shot:
                with self.assertRaises(EarshotError) as caught:
                    await Transcriber.start(executable=live.executable, env=live.env)
                self.assertEqual((str(caught.exception), caught.exception.code),
                                 (entry["text"], entry["code"]))
                with self.assertRaises(EarshotError) as caught:
                    await list_locales(executable=one_shot.executable, env=one_shot.env)
                self.assertEqual(caught.exception.code, entry["code"])

    async def test_ends_without_an_error_line_are_program_exited(self):
        ends = [("! exit 3", "earshot exited with status 3 without an error message"),
                ("! exit 0", "earshot exited with status 0 without an error message"),
                ("! kill SIGSEGV", "earshot was killed by SIGSEGV without an error message")]
        for entry, message in ends:
            with self.subTest(entry), after_ready("> audio", entry) as stand:
                t = await Transcriber.start(executable=stand.executable, env=stand.env)
                try:
                    await t.write(TENTH, 16000)
                except EarshotError:
                    pass
                with self.assertRaises(EarshotError) as caught:
                    await t.stop()
                self.assertEqual((str(caught.exception), caught.exception.code),
                                 (message, "program-exited"))

    async def test_a_missing_program_is_program_not_found(self):
        with tempfile.TemporaryDirectory() as folder:
            plain = os.path.join(folder, "earshot")
            with open(plain, "w") as f:
                f.write("#!/bin/sh\n")
            for executable in ("/nonexistent/earshot", plain, folder):
                with self.subTest(executable):
                    with self.assertRaisesRegex(EarshotError, "^Cannot run %s: " % executable) \
                            as caught:
                        await Transcriber.start(executable=executable)
                    self.assertEqual(caught.exception.code, "program-not-found")
        with self.assertRaisesRegex(EarshotError, "EARSHOT_EXECUTABLE") as caught:
            await list_locales(env={"PATH": "/nonexistent"})
        self.assertEqual(caught.exception.code, "program-not-found")


if __name__ == "__main__":
    unittest.main()
