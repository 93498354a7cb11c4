"""WAV files of any rate, channel count and sample kind are mixed down and
sent at their rate; anything else is refused with a clear error, also by
`python -m earshot_client`."""

import math
import os
import struct
import subprocess
import sys
import tempfile
import unittest

from .stand_in import Conversation

from earshot_client import EarshotError, read_wav, transcribe_file


def wav(frames, rate=16000, tag=1, bits=16, extensible=False) -> bytes:
    """A WAV file of `frames`, each a tuple of one value in [-1, 1] per channel."""
    channels, width = len(frames[0]), bits // 8
    data = bytearray()
    for frame in frames:
        for value in frame:
            if tag == 3:
                data += struct.pack("<f" if bits == 32 else "<d", value)
            elif bits == 8:
                data.append(round(value * 127) + 128)
            else:
                data += round(value * (2 ** (bits - 1) - 1)).to_bytes(width, "little", signed=True)
    fmt = struct.pack("<HHIIHH", 0xFFFE if extensible else tag, channels, rate,
                      rate * channels * width, channels * width, bits)
    if extensible:
        fmt += struct.pack("<HHIH14s", 22, bits, 0, tag, b"")

    def chunk(name, body):
        return name + struct.pack("<I", len(body)) + body + b"\0" * (len(body) % 2)

    body = b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"LIST", b"odd") + chunk(b"data", bytes(data))
    return b"RIFF" + struct.pack("<I", len(body)) + body


class DecodingTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def file(self, content: bytes, name="x.wav") -> str:
        path = os.path.join(self.folder.name, name)
        with open(path, "wb") as f:
            f.write(content)
        return path

    def test_every_kind_is_mixed_down_to_mono_16_bit_at_its_rate(self):
        stereo = [(0.5, -0.5), (0.25, 0.75), (-1.0, -1.0)]
        kinds = [("16-bit stereo at 44.1 kHz", dict(rate=44100)), ("8-bit", dict(bits=8)),
                 ("24-bit", dict(bits=24)), ("32-bit", dict(bits=32)),
                 ("float", dict(tag=3, bits=32)),
                 ("double, extensible", dict(tag=3, bits=64, extensible=True))]
        for what, spec in kinds:
            with self.subTest(what):
                samples, rate = read_wav(self.file(wav(stereo, **spec)))
                self.assertEqual(rate, spec.get("rate", 16000))
                values = struct.unpack("<3h", samples)
                for value, expected in zip(values, (0, 16384, -32768)):
                    self.assertLessEqual(abs(value - expected), 260, (what, values))

    def test_16_bit_mono_passes_through(self):
        samples, _ = read_wav(self.file(wav([(0.1,), (-0.2,), (0.3,)])))
        self.assertEqual(struct.unpack("<3h", samples), (3277, -6553, 9830))

    def test_other_files_are_refused_with_a_clear_error(self):
        valid = wav([(0.0,)])
        refused = [
            ("a FLAC file", b"fLaC\0\0\0\x22rest", "not a WAV file; convert it to WAV first"),
            ("an empty file", b"", "not a WAV file"),
            ("A-law samples", wav([(0.0,)], tag=6, bits=8),
             "WAV samples of format 6 with 8 bits are not supported"),
            ("a rate of 1 Hz", wav([(0.0,)], rate=1),
             "sample rate 1 Hz is outside the accepted range of 8000 to 192000 Hz"),
            ("no data chunk", valid[:36 + 12], "without a data chunk"),
        ]
        for what, content, message in refused:
            with self.subTest(what):
                path = self.file(content, "talk.flac")
                with self.assertRaises(EarshotError) as caught:
                    read_wav(path)
                self.assertEqual(caught.exception.code, "invalid-file")
                self.assertTrue(str(caught.exception).startswith(path + ": "))
                self.assertIn(message, str(caught.exception))
        with self.assertRaisesRegex(EarshotError, "No such file"):
            read_wav(os.path.join(self.folder.name, "missing.wav"))

    def test_the_demo_refuses_them_in_one_line_without_a_traceback(self):
        for content in (b"fLaC\0\0\0\x22rest", wav([(0.0,)], tag=6, bits=8)):
            path = self.file(content, "talk.flac")
            with Conversation("goforward") as stand:
                run = subprocess.run([sys.executable, "-m", "earshot_client", path,
                                      "--executable", stand.executable], env=stand.env,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
                self.assertEqual(run.returncode, 2)
                self.assertEqual(run.stdout, b"")
                lines = run.stderr.decode().splitlines()
                self.assertEqual(len(lines), 1, lines)
                self.assertTrue(lines[0].startswith("earshot: %s: " % path), lines)
                self.assertEqual(stand.sent(), [])


class TranscribeFileTest(unittest.IsolatedAsyncioTestCase):
    async def test_mixed_down_samples_at_the_files_rate_rising_progress_and_the_finals(self):
        with tempfile.TemporaryDirectory() as folder, Conversation("goforward") as stand:
            path = os.path.join(folder, "stereo.wav")
            with open(path, "wb") as f:
                f.write(wav([(math.sin(i / 10) / 2, math.sin(i / 7) / 2)
                             for i in range(44100 * 3)], rate=44100))
            progress = []
            finals = await transcribe_file(path, executable=stand.executable, env=stand.env,
                                           on_progress=progress.append)
            audio = [line.split() for line in stand.sent() if line.startswith("audio")]
        self.assertEqual([f.text for f in finals], ["go forward ten meters"] * 2)
        self.assertTrue(all(f.is_final and len(f.words) == 4 for f in finals))
        self.assertEqual(progress[-1], 1.0)
        self.assertGreater(len(progress), 2)
        self.assertEqual(sorted(set(progress)), progress, "rising")
        self.assertTrue(all(rate == "44100" for _, rate, _ in audio))
        self.assertEqual(sum(int(size) for _, _, size in audio), 44100 * 3 * 2)


if __name__ == "__main__":
    unittest.main()
