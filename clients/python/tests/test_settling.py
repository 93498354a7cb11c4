"""Every call settles: after a failure every pending and later call raises
it, nothing is ever printed to standard error, misuse is a RuntimeError, the
end of the child is its exit, and results are kept from the start."""

import asyncio
import json
import signal
import subprocess
import sys
import unittest

from .processes import children, ends
from .stand_in import READY, TENTH, Conversation, after_ready, host

from earshot_client import EarshotError, Transcriber, Transcript, Word

_REFUSED = '< {"type":"error","message":"Expected mono Int16 PCM with a valid sample rate"}'


class AfterAFailureTest(unittest.IsolatedAsyncioTestCase):
    async def test_pending_and_later_calls_raise_the_one_failure(self):
        with after_ready("> audio", "> flush", "! sleep 0.2", _REFUSED, "! exit 1") as stand:
            t = await Transcriber.start(executable=stand.executable, env=stand.env)
            await t.write(TENTH, 16000)
            pending = [asyncio.ensure_future(t.flush()), asyncio.ensure_future(t.__anext__())]
            outcomes = await asyncio.gather(*pending, t.stop(), return_exceptions=True)
            failure = outcomes[0]
            self.assertIsInstance(failure, EarshotError)
            self.assertEqual(str(failure), "Expected mono Int16 PCM with a valid sample rate")
            self.assertEqual(failure.code, "invalid-audio")
            for outcome in outcomes:
                self.assertIs(outcome, failure)
            for later in (lambda: t.write(TENTH, 16000), t.flush, t.stop):
                with self.assertRaises(EarshotError) as caught:
                    await later()
                self.assertIs(caught.exception, failure)
            self.assertEqual(children(), [])

    def test_hosts_see_a_failure_once_and_nothing_on_standard_error(self):
        # Each host prints where it caught the failure (`caught(where)`),
        # then "after": it runs on.
        hosts = [
            ("blocking, caught in the block", """
with BlockingTranscriber(executable=E) as t:
    t.write(pcm, 16000)
    with caught("flush"):
        t.flush()
""", ["flush model-unavailable", "after"]),
            ("asyncio, the block's end sees it", """
async def main():
    async with Transcriber(executable=E) as t:
        await t.write(pcm, 16000)
        await asyncio.sleep(0.5)
with caught("end"):
    asyncio.run(main())
""", ["end model-unavailable", "after"]),
            ("asyncio, writing on after it", """
async def main():
    async with Transcriber(executable=E) as t:
        with caught("write"):
            for _ in range(20):
                await t.write(pcm * 50, 16000)
asyncio.run(main())
gc.collect()
""", ["write model-unavailable", "after"]),
        ]
        prologue = """
import asyncio, contextlib, gc
from earshot_client import BlockingTranscriber, EarshotError, Transcriber
E = %r
pcm = bytes(3200)
@contextlib.contextmanager
def caught(where):
    try:
        yield
    except EarshotError as error:
        print(where, error.code)
"""
        failure = '< {"type":"error","message":"Speech model for en-US could not be loaded."}'
        for how, body, expected in hosts:
            with self.subTest(how), after_ready("> audio", "! sleep 0.2", failure,
                                                "! exit 1") as stand:
                status, lines, errors = host(
                    prologue % stand.executable + body + 'print("after")\n', stand.env)
                self.assertEqual((status, lines, errors), (0, expected, ""))


class LinesTest(unittest.IsolatedAsyncioTestCase):
    async def test_lines_that_are_not_json_objects_fail_the_transcriber(self):
        for line in ("null", "3", "[]", '"ready"', "true", "nope"):
            with self.subTest(line), \
                    Conversation(text="> init\n< %s\n! sleep 5\n" % line) as before, \
                    after_ready("> audio", "< " + line, "! sleep 5") as after:
                with self.assertRaisesRegex(EarshotError, "not (a JSON object|JSON)") as caught:
                    await Transcriber.start(executable=before.executable, env=before.env)
                self.assertEqual(caught.exception.code, "protocol-error")
                t = await Transcriber.start(executable=after.executable, env=after.env)
                await t.write(TENTH, 16000)
                with self.assertRaises(EarshotError) as caught:
                    await t.stop()
                self.assertEqual(caught.exception.code, "protocol-error")
                self.assertEqual(children(), [])


class SettlingTest(unittest.IsolatedAsyncioTestCase):
    async def test_stop_and_flush_settle_when_a_grandchild_holds_the_output_pipe(self):
        with after_ready("! grandchild", "> flush", '< {"type":"flushed"}', "> stop",
                         '< {"type":"stopped"}', "! exit 0") as stand:
            t = await Transcriber.start(executable=stand.executable, env=stand.env)
            await asyncio.wait_for(t.flush(), 10)
            await asyncio.wait_for(t.stop(), 10)
            self.assertEqual(stand.sent(), ["init", "flush", "stop"])

    async def test_a_child_that_dies_with_its_pipe_held_fails_the_pending_call(self):
        with after_ready("! grandchild", "> flush", "! kill SIGKILL") as stand:
            t = await Transcriber.start(executable=stand.executable, env=stand.env)
            with self.assertRaisesRegex(EarshotError,
                                        "^earshot was killed by SIGKILL without an error message$"):
                await asyncio.wait_for(t.flush(), 10)

    async def test_start_timeout_kills_an_earshot_that_is_not_ready(self):
        with Conversation(text="> init\n! hang\n") as stand:
            with self.assertRaisesRegex(EarshotError, "^earshot was not ready within 0.3 s$") as caught:
                await Transcriber.start(executable=stand.executable, env=stand.env,
                                        start_timeout=0.3)
            self.assertEqual(caught.exception.code, "start-timeout")
            self.assertEqual(children(), [])


class MisuseTest(unittest.IsolatedAsyncioTestCase):
    async def test_calls_after_stop_or_close_are_runtime_errors(self):
        for end in ("stop", "close"):
            with self.subTest(end), Conversation("goforward") as stand:
                t = await Transcriber.start(executable=stand.executable, env=stand.env)
                await getattr(t, end)()
                for call in (lambda: t.write(TENTH, 16000), t.flush, t.stop):
                    with self.assertRaisesRegex(RuntimeError, r"after stop\(\) or close\(\)"):
                        await call()
                await t.close()  # closing again is harmless


class IterationTest(unittest.IsolatedAsyncioTestCase):
    async def test_results_are_typed_and_kept_from_the_start(self):
        with Conversation("goforward") as stand:
            called = []
            async with Transcriber(executable=stand.executable, env=stand.env,
                                   on_transcript=called.append) as t:
                for _ in range(29):
                    await t.write(TENTH, 16000)
                await t.flush()
                await t.stop()
                results = [r async for r in t]
        self.assertEqual(results, called)
        self.assertFalse(results[0].is_final)
        final = next(r for r in results if r.is_final)
        self.assertIsInstance(final, Transcript)
        self.assertEqual(final.text, "go forward ten meters")
        self.assertIsInstance(final.confidence, float)
        self.assertEqual([w.text for w in final.words], ["go", "forward", "ten", "meters"])
        for word in final.words:
            self.assertIsInstance(word, Word)
            self.assertLess(word.start, word.end)
            self.assertTrue(0 <= word.confidence <= 1)
        self.assertEqual(final.extra, {})


class HostDeathTest(unittest.TestCase):
    def test_a_host_killed_by_a_signal_leaves_no_child(self):
        bodies = {
            "asyncio": "async def main():\n"
                       "    t = await Transcriber.start(executable=E)\n"
                       "    print(t.pid, flush=True)\n"
                       "    await t.stop()\n"
                       "asyncio.run(main())\n",
            "blocking": "t = BlockingTranscriber(executable=E)\n"
                        "print(t.pid, flush=True)\n"
                        "t.stop()\n",
        }
        for (api, body), sig in [(item, sig) for item in bodies.items()
                                 for sig in (signal.SIGKILL, signal.SIGTERM)]:
            with self.subTest(api=api, signal=sig.name), after_ready("! hang") as stand:
                script = ("import asyncio\nfrom earshot_client import BlockingTranscriber, "
                          "Transcriber\nE = %r\n" % stand.executable) + body
                with subprocess.Popen([sys.executable, "-c", script], env=stand.env,
                                      stdout=subprocess.PIPE) as process:
                    pid = int(process.stdout.readline())
                    process.send_signal(sig)
                    self.assertEqual(process.wait(), -sig)
                self.assertTrue(ends(pid, 5), "earshot %d still runs" % pid)


if __name__ == "__main__":
    unittest.main()
