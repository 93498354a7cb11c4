"""Reading WAV files of any rate, channel count and sample kind."""

import array
import os
import struct
import sys
from typing import Iterable, Tuple, Union

from .audio_lines import HIGHEST_RATE, LOWEST_RATE
from .errors import EarshotError

_EXTENSIBLE = 0xFFFE

# (format tag, bits) read: integer PCM and IEEE float.
_KINDS = ((1, 8), (1, 16), (1, 24), (1, 32), (3, 32), (3, 64))


def read_wav(path: Union[str, "os.PathLike[str]"]) -> Tuple[bytes, int]:
    """(mono 16-bit little-endian samples, sample rate) of a WAV file:
    integer PCM of 8 to 32 bits or float of 32 or 64 bits, any channel count
    (mixed down). Anything else raises an EarshotError of code
    "invalid-file" that names the file."""
    name = os.fspath(path)

    def fail(why: str) -> EarshotError:
        return EarshotError("%s: %s" % (name, why), "invalid-file")

    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as error:
        raise fail(error.strerror or str(error)) from None
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise fail("not a WAV file; convert it to WAV first (for example with sox or ffmpeg)")
    fmt = None
    body = None
    at = 12
    while at + 8 <= len(data) and body is None:
        chunk, size = data[at:at + 4], struct.unpack_from("<I", data, at + 4)[0]
        start = at + 8
        if chunk == b"fmt " and size >= 16 and start + 16 <= len(data):
            tag, channels, rate = struct.unpack_from("<HHI", data, start)
            bits = struct.unpack_from("<H", data, start + 14)[0]
            if tag == _EXTENSIBLE and size >= 26 and start + 26 <= len(data):
                tag = struct.unpack_from("<H", data, start + 24)[0]
            fmt = (tag, channels, rate, bits)
        elif chunk == b"data":
            body = data[start:start + size]
        at = start + size + (size & 1)
    if fmt is None:
        raise fail("a WAV file without a format chunk")
    if body is None:
        raise fail("a WAV file without a data chunk")
    tag, channels, rate, bits = fmt
    if (tag, bits) not in _KINDS:
        raise fail("WAV samples of format %d with %d bits are not supported (integer PCM of "
                   "8, 16, 24 or 32 bits, or float of 32 or 64 bits)" % (tag, bits))
    if channels == 0:
        raise fail("a WAV file with no channels")
    if not LOWEST_RATE <= rate <= HIGHEST_RATE:
        raise fail("sample rate %d Hz is outside the accepted range of %d to %d Hz"
                   % (rate, LOWEST_RATE, HIGHEST_RATE))
    return _mono16(body, tag, bits, channels), rate


def _mono16(body: bytes, tag: int, bits: int, channels: int) -> bytes:
    width = bits // 8
    frames = len(body) // (width * channels)
    body = body[:frames * width * channels]
    if tag == 3:
        floats = array.array("f" if bits == 32 else "d")
        floats.frombytes(body)
        if sys.byteorder == "big":
            floats.byteswap()
        scale = 32768.0 / channels
        totals: Iterable[float] = floats if channels == 1 else \
            map(sum, zip(*(floats[c::channels] for c in range(channels))))
        return _little_endian(array.array("h", [
            max(-32768, min(32767, round(t * scale))) if t == t else 0 for t in totals]))
    ints: "array.array[int]"
    shift = 0
    if bits == 8:
        ints = array.array("h", [b - 128 << 8 for b in body])
    elif bits == 24:
        ints = array.array("i", [int.from_bytes(body[i:i + 3], "little", signed=True)
                                 for i in range(0, len(body), 3)])
        shift = 8
    else:
        ints = array.array("h" if bits == 16 else "i")
        ints.frombytes(body)
        if sys.byteorder == "big":
            ints.byteswap()
        shift = bits - 16
    if channels == 1 and shift == 0:
        return _little_endian(array.array("h", ints))
    # Floor division and shifts keep the mean of in-range samples in range.
    mixed: Iterable[int] = ints if channels == 1 else \
        (t // channels for t in map(sum, zip(*(ints[c::channels] for c in range(channels)))))
    return _little_endian(array.array("h", [t >> shift for t in mixed]))


def _little_endian(samples: "array.array[int]") -> bytes:
    if sys.byteorder == "big":
        samples = array.array("h", samples)
        samples.byteswap()
    return samples.tobytes()
