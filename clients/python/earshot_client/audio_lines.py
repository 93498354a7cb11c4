"""Samples to "audio" lines."""

import array
import base64
import math
import sys
from typing import Iterator, Union

# Lines per second of audio: 100 ms each, short enough to keep latency low and
# long enough that the line's framing costs little.
_LINES_PER_SECOND = 10

Samples = Union[bytes, bytearray, memoryview, "array.array[int]"]


def sample_bytes(samples: Samples) -> bytes:
    """The samples as little-endian 16-bit bytes (a copy).

    Accepts raw little-endian bytes, or anything holding 16-bit integers
    through the buffer protocol (array.array("h"), a NumPy int16 array).
    """
    try:
        view = memoryview(samples)
    except TypeError:
        raise TypeError("samples must be bytes of 16-bit little-endian samples "
                        "or an array of 16-bit integers") from None
    kind = view.format.lstrip("@=<>!")
    if kind in ("B", "b", "c") and view.itemsize == 1:
        data = view.tobytes()
        if len(data) % 2:
            raise ValueError("16-bit samples need an even number of bytes")
        return data
    if kind == "h" and view.itemsize == 2:
        big = view.format[0] in ">!" or (sys.byteorder == "big" and view.format[0] not in "<")
        if not big:
            return view.tobytes()
        swapped = array.array("h", view.tobytes())
        swapped.byteswap()
        return swapped.tobytes()
    raise TypeError("samples must be 16-bit integers, not items of format %r" % view.format)


def check_rate(sample_rate: float) -> None:
    if isinstance(sample_rate, bool) or not isinstance(sample_rate, (int, float)) \
            or not math.isfinite(sample_rate):
        raise TypeError("sample_rate must be a finite number of samples per second")


def audio_lines(data: bytes, sample_rate: float) -> Iterator[bytes]:
    """The "audio" lines for `data` at `sample_rate`, one per 100 ms."""
    step = max(1, round(sample_rate / _LINES_PER_SECOND)) * 2
    head = b'{"type":"audio","sampleRate":' + repr(sample_rate).encode() + b',"pcm":"'
    for at in range(0, len(data), step):
        yield head + base64.b64encode(data[at:at + step]) + b'"}\n'
