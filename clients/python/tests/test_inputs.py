"""Audio the library refuses before sending it: the exception names the
value and the accepted range, nothing reaches earshot, and the session goes
on; rates of every numeric kind are sent as JSON numbers."""

import array
import enum
import fractions
import unittest

from .stand_in import TENTH, Conversation

from earshot_client import Transcriber


class Rate(enum.IntEnum):
    WIDE = 16000


_BAD_WRITES = [
    ("a rate below the range", TENTH, 4000, ValueError,
     r"^sample_rate 4000 is outside the accepted range of 8000 to 192000 Hz$"),
    ("a rate above the range", TENTH, 192001, ValueError, r"^sample_rate 192001 is outside"),
    ("a rate of 1 Hz", TENTH, 1, ValueError, r"^sample_rate 1 is outside"),
    ("a rate of 0.5", TENTH, 0.5, ValueError, r"^sample_rate 0\.5 is outside"),
    ("NaN", TENTH, float("nan"), ValueError, r"^sample_rate nan is outside"),
    ("infinity", TENTH, float("inf"), ValueError, r"^sample_rate inf is outside"),
    ("a rate given as a string", TENTH, "16000", TypeError,
     r"^sample_rate must be a number of samples per second, not str$"),
    ("a bool", TENTH, True, TypeError, r"not a bool$"),
    ("None", TENTH, None, TypeError, r"not NoneType$"),
    ("an odd number of bytes", b"\0" * 3201, 16000, ValueError,
     r"^samples hold 3201 bytes: 16-bit samples need an even number of bytes$"),
    ("float samples", array.array("f", [0.5]), 16000, TypeError, r"not items of format 'f'"),
    ("a list", [1, 2], 16000, TypeError, r"^samples must be bytes"),
]

# Rates of other numeric kinds and how they are written.
_RATES = [
    (Rate.WIDE, "16000"),
    (16000.0, "16000.0"),
    (fractions.Fraction(44101, 2), "22050.5"),
]
try:
    import numpy  # type: ignore[import]
    _RATES += [(numpy.int32(16000), "16000"), (numpy.int64(8000), "8000"),
               (numpy.float32(22050.5), "22050.5"), (numpy.float64(44100), "44100.0")]
except ImportError:
    pass


class InputsTest(unittest.IsolatedAsyncioTestCase):
    async def test_bad_writes_raise_at_once_send_nothing_and_the_session_goes_on(self):
        with Conversation("goforward") as stand:
            async with Transcriber(executable=stand.executable, env=stand.env) as t:
                for what, samples, rate, kind, message in _BAD_WRITES:
                    with self.subTest(what):
                        with self.assertRaisesRegex(kind, message):
                            await t.write(samples, rate)
                for rate, _ in _RATES:
                    await t.write(TENTH, rate)
                await t.stop()
                finals = [r.text async for r in t if r.is_final]
            audio = [line.split()[1] for line in stand.sent() if line.startswith("audio")]
            self.assertEqual(audio, [written for _, written in _RATES])
            self.assertEqual(stand.sent()[0], "init")
            self.assertEqual(stand.sent()[-1], "stop")
            self.assertEqual(finals, ["go forward ten meters"] * 2,
                             "the session went on (the replay writes the rest at the stop)")


if __name__ == "__main__":
    unittest.main()
