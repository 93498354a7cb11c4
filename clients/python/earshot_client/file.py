"""Transcribing a WAV file."""

import os
from typing import Any, Callable, List, Mapping, Optional, Union

from .transcriber import Transcriber
from .transcript import Transcript
from .wav import read_wav


async def transcribe_file(path: Union[str, "os.PathLike[str]"], locale: Optional[str] = None, *,
                          on_progress: Optional[Callable[[float], None]] = None,
                          executable: Optional[str] = None,
                          options: Optional[Mapping[str, Any]] = None,
                          env: Optional[Mapping[str, str]] = None,
                          start_timeout: Optional[float] = None) -> List[Transcript]:
    """The final results of a WAV file (see wav.read_wav for the files it
    reads), with one earshot. earshot is asked for word times
    ("audioTimeRange") on top of `options`; `on_progress(fraction)` follows
    how far into the file the results have come, and gets 1.0 at the end."""
    samples, rate = read_wav(path)
    seconds = len(samples) / 2 / rate
    init = dict(options or {})
    wanted = init.get("attributeOptions")
    attributes = list(wanted) if isinstance(wanted, (list, tuple)) else []
    init["attributeOptions"] = attributes + [a for a in ["audioTimeRange"] if a not in attributes]
    finals: List[Transcript] = []
    reported = 0.0

    def report(fraction: float) -> None:
        nonlocal reported
        if fraction > reported:
            reported = fraction
            if on_progress is not None:
                on_progress(fraction)

    def take(result: Transcript) -> None:
        if result.is_final:
            finals.append(result)
        if result.end is not None and seconds > 0:
            report(min(0.99, result.end / seconds))

    async with Transcriber(locale, executable=executable, options=init, env=env,
                           on_transcript=take, start_timeout=start_timeout) as t:
        await t.write(samples, rate)
        await t.stop()
    report(1.0)
    return finals
