"""Samples to "audio" lines."""

import array
import base64
import json
import math
import numbers
import operator
import sys
from typing import Any, Iterator, Union

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
            raise ValueError("samples hold %d bytes: 16-bit samples need an even number of bytes"
                             % len(data))
        return data
    if kind == "h" and view.itemsize == 2:
        big = view.format[0] in ">!" or (sys.byteorder == "big" and view.format[0] not in "<")
        if not big:
            return view.tobytes()
        swapped = array.array("h", view.tobytes())
        swapped.byteswap()
        return swapped.tobytes()
    raise TypeError("samples must be 16-bit integers, not items of format %r" % view.format)


# The rates earshot takes, in Hz.
LOWEST_RATE = 8000
HIGHEST_RATE = 192000


def rate_number(sample_rate: Any) -> Union[int, float]:
    """`sample_rate` as a plain int or float within the rates earshot takes.

    Integers of any kind (int, IntEnum, NumPy integers) stay whole; other
    real numbers (float, NumPy floats) become a float. Anything else is a
    TypeError, a rate outside the range a ValueError."""
    if isinstance(sample_rate, bool):
        raise TypeError("sample_rate must be a number of samples per second, not a bool")
    rate: Union[int, float]
    try:
        rate = operator.index(sample_rate)
    except TypeError:
        if not isinstance(sample_rate, numbers.Real):
            raise TypeError("sample_rate must be a number of samples per second, not %s"
                            % type(sample_rate).__name__) from None
        rate = float(sample_rate)
    if not (isinstance(rate, int) or math.isfinite(rate)) or \
            not LOWEST_RATE <= rate <= HIGHEST_RATE:
        raise ValueError("sample_rate %r is outside the accepted range of %d to %d Hz"
                         % (rate, LOWEST_RATE, HIGHEST_RATE))
    return rate


def audio_lines(data: bytes, sample_rate: Union[int, float]) -> Iterator[bytes]:
    """The "audio" lines for `data` at `sample_rate` (from rate_number), one
    per 100 ms."""
    step = max(1, round(sample_rate / _LINES_PER_SECOND)) * 2
    head = b'{"type":"audio","sampleRate":' + json.dumps(sample_rate).encode() + b',"pcm":"'
    for at in range(0, len(data), step):
        yield head + base64.b64encode(data[at:at + step]) + b'"}\n'
