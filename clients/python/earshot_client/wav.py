"""Reading WAV files of any rate, channel count and sample kind."""

import array
import os
import struct
import sys
from typing import Callable, Dict, Tuple, Union

from .audio_lines import HIGHEST_RATE, LOWEST_RATE
from .errors import EarshotError

_EXTENSIBLE = 0xFFFE

# Array type codes by (format tag, bits): integer PCM and IEEE float.
_KINDS: Dict[Tuple[int, int], str] = {(1, 16): "h", (1, 32): "i", (3, 32): "f", (3, 64): "d"}
_SCALE = {"h": 32768.0, "i": 2147483648.0, "f": 1.0, "d": 1.0}


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
    if (tag, bits) not in _KINDS and (tag, bits) not in ((1, 8), (1, 24)):
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
    values: "Union[array.array[int], array.array[float]]"
    if (tag, bits) == (1, 8):
        values = array.array("h", (b - 128 << 8 for b in body))
        scale = 32768.0
    elif (tag, bits) == (1, 24):
        values = array.array("i", (int.from_bytes(body[i:i + 3], "little", signed=True)
                                   for i in range(0, len(body), 3)))
        scale = 8388608.0
    else:
        kind = _KINDS[(tag, bits)]
        values = array.array(kind)
        values.frombytes(body)
        if sys.byteorder == "big":
            values.byteswap()
        scale = _SCALE[kind]
    if (tag, bits, channels) == (1, 16, 1):
        return _little_endian(array.array("h", values))
    mixed = array.array("h", bytes(2 * frames))
    clip: Callable[[float], int] = lambda v: max(-32768, min(32767, int(round(v))))  # noqa: E731
    factor = 32768.0 / scale / channels
    for frame in range(frames):
        total = sum(values[frame * channels:(frame + 1) * channels])
        mixed[frame] = clip(total * factor) if total == total else 0
    return _little_endian(mixed)


def _little_endian(samples: "array.array[int]") -> bytes:
    if sys.byteorder == "big":
        samples = array.array("h", samples)
        samples.byteswap()
    return samples.tobytes()
