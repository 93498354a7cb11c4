"""Live transcription through the library against the built program."""

import array
import asyncio
import os
import signal
import sys
import unittest

from .processes import is_running
from .support import CatalogHome, OwnHome, by_hand, finals, recording

from earshot_client import EarshotError, Transcriber


class LiveTest(OwnHome, unittest.IsolatedAsyncioTestCase):
    def transcriber(self, locale="en-US", **settings):
        settings.setdefault("env", self.home.env)
        return Transcriber(locale, **settings)

    async def test_a_recording_gives_partials_then_the_finals_earshot_writes_by_hand(self):
        pcm = recording("0870")
        called = []
        async with self.transcriber(on_transcript=called.append) as t:
            self.assertEqual((t.locale, t.sample_rate), ("en-US", 16000))
            # As an array of 16-bit integers, the other kind of samples write() takes.
            await t.write(array.array("h", pcm), 16000)
            await t.stop()
            results = [result async for result in t]
        self.assertEqual(results, called)
        self.assertGreater(len(results), 2)
        self.assertFalse(results[0].is_final, "partials come first")
        self.assertTrue(results[-1].is_final)
        self.assertEqual(finals(results),
                         finals((await asyncio.to_thread(by_hand, [pcm], self.home.env))[0]))
        self.assertIn("Mr. John Dashwood", " ".join(finals(results)))
        self.assertTrue(all(r.extra == {} and r.words == [] and r.start is None for r in results))
        self.assertFalse(is_running(t.pid))

    async def test_flush_returns_after_the_finals_before_it_and_before_any_of_the_next(self):
        first, second = recording("0880"), recording("0930")
        seen = []
        async with self.transcriber(on_transcript=seen.append) as t:
            await t.write(first, 16000)
            await t.flush()
            at_flush = len(seen)
            await t.write(second, 16000)
            await t.flush()
            at_second_flush = len(seen)
        before, after = await asyncio.to_thread(by_hand, [first, second], self.home.env)
        self.assertEqual(finals(seen[:at_flush]), finals(before))
        self.assertTrue(seen[at_flush - 1].is_final)
        self.assertEqual(finals(seen[at_flush:]), finals(after))
        self.assertEqual(len(seen), at_second_flush, "nothing after the last flush")

    async def test_stop_ends_iteration_and_the_process_and_later_calls_are_misuse(self):
        t = await Transcriber.start("en-US", env=self.home.env)
        await t.write(recording("0880"), 16000)
        await t.stop()
        self.assertTrue([r async for r in t])
        self.assertFalse(is_running(t.pid))
        for call in (lambda: t.write(recording("0880"), 16000), t.flush, t.stop):
            with self.assertRaisesRegex(RuntimeError, r"after stop\(\) or close\(\)"):
                await call()
        self.assertEqual([r async for r in t], [])


class FailureTest(OwnHome, unittest.IsolatedAsyncioTestCase):
    async def test_an_unsupported_locale_fails_start_with_earshots_text(self):
        with self.assertRaises(EarshotError) as caught:
            await Transcriber.start("xx-YY", env=self.home.env)
        self.assertEqual(str(caught.exception), "Apple Speech does not support language xx-YY. "
                         "Choose a supported language in Audio settings.")

    async def test_the_speaker_options_reach_init_where_earshot_checks_them(self):
        with self.assertRaises(EarshotError) as caught:
            await Transcriber.start("en-US", env=self.home.env,
                                    options={"speakerAdaptation": "never"})
        self.assertEqual(str(caught.exception),
                         'speakerAdaptation must be "persistent", "session" or "off"')
        with self.assertRaisesRegex(EarshotError, "^speakerProfile must be 1 to 64 characters"):
            await Transcriber.start("en-US", env=self.home.env,
                                    options={"speakerAdaptation": "off", "speakerProfile": "a/b"})
        options = {"speakerAdaptation": "session", "speakerProfile": "kid"}
        transcriber = await Transcriber.start("en-US", env=self.home.env, options=options)
        await transcriber.stop()

    async def test_a_missing_program_fails_start(self):
        with self.assertRaisesRegex(EarshotError, "^Cannot run /nonexistent/earshot: "):
            await Transcriber.start("en-US", executable="/nonexistent/earshot", env=self.home.env)
        env = dict(self.home.env, PATH="/nonexistent")
        del env["EARSHOT_EXECUTABLE"]
        with self.assertRaisesRegex(EarshotError, "EARSHOT_EXECUTABLE"):
            await Transcriber.start("en-US", env=env)

    async def test_a_rate_earshot_would_refuse_is_refused_before_sending_and_the_session_goes_on(self):
        pcm = recording("0880")
        async with Transcriber("en-US", env=self.home.env) as t:
            with self.assertRaisesRegex(
                    ValueError, "^sample_rate 4000 is outside the accepted range of 8000 to 192000 Hz$"):
                await t.write(pcm[:3200], 4000)
            await t.write(pcm, 16000)
            await t.stop()
            results = [r async for r in t]
        expected = await asyncio.to_thread(by_hand, [pcm], self.home.env)
        self.assertEqual(finals(results), finals(expected[0]))

    async def test_a_child_killed_mid_stream_ends_iteration_with_an_error(self):
        long = recording("0870") * 8
        t = await Transcriber.start("en-US", env=self.home.env)
        writing = asyncio.ensure_future(t.write(long, 16000))
        results = []
        with self.assertRaisesRegex(EarshotError,
                                    "^earshot was killed by SIGKILL without an error message$"):
            async for result in t:
                results.append(result)
                if len(results) == 3:
                    os.kill(t.pid, signal.SIGKILL)
        self.assertEqual(len(results), 3)
        try:
            await writing  # may have been taken whole before the kill
        except EarshotError as error:
            self.assertIn("SIGKILL", str(error))
        with self.assertRaisesRegex(EarshotError, "SIGKILL"):
            await t.flush()
        with self.assertRaisesRegex(EarshotError, "SIGKILL"):
            await t.stop()

    async def test_samples_of_the_wrong_kind_are_refused_before_anything_is_sent(self):
        async with Transcriber("en-US", env=self.home.env) as t:
            with self.assertRaises(ValueError):
                await t.write(b"abc", 16000)
            with self.assertRaises(TypeError):
                await t.write(array.array("f", [0.5]), 16000)
            with self.assertRaises(TypeError):
                await t.write([1, 2], 16000)
            with self.assertRaises(ValueError):
                await t.write(b"ab", float("nan"))


class BackPressureTest(unittest.IsolatedAsyncioTestCase):
    async def test_a_fast_writer_waits_for_the_pipe_and_a_slow_reader_gets_every_result(self):
        with CatalogHome(with_catalog=False) as home:
            # About 25 s of speech written at once: earshot reads it far slower.
            pcm = b"".join(recording(n) for n in ("0870", "0880", "0890", "0920", "0930"))
            most = 0
            called = []
            async with Transcriber("en-US", env=home.env, on_transcript=called.append) as t:
                async def sample():
                    nonlocal most
                    while True:
                        most = max(most, t.buffered_bytes)
                        await asyncio.sleep(0.001)

                async def slow_reader():
                    results = []
                    async for result in t:
                        results.append(result)
                        await asyncio.sleep(0.005)
                    return results

                sampler = asyncio.ensure_future(sample())
                reading = asyncio.ensure_future(slow_reader())
                await t.write(pcm, 16000)
                sampler.cancel()
                await t.stop()
                results = await reading
            # The transport's own limit plus one line, never the 1 MB of text.
            self.assertLess(most, 128 * 1024)
            self.assertEqual(results, called, "the iterator lost nothing")
            self.assertGreaterEqual(len(finals(results)), 2, finals(results))


if __name__ == "__main__":
    unittest.main()
