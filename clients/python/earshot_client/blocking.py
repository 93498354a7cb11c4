"""The same API without asyncio: every call blocks until it is done.

The processes are driven by one event loop on a daemon thread of this
module, started on first use; the calling thread only waits for results.
"""

import asyncio
import os
import threading
from types import TracebackType
from typing import Any, Callable, Coroutine, Iterator, List, Mapping, Optional, Type, TypeVar, Union

from . import file, one_shot
from .audio_lines import Samples
from .transcriber import StatusCallback, Transcriber, TranscriptCallback
from .transcript import Locales, Transcript

T = TypeVar("T")

_loop: Optional[asyncio.AbstractEventLoop] = None
_loop_lock = threading.Lock()


def _run(coroutine: Coroutine[Any, Any, T]) -> T:
    global _loop
    with _loop_lock:
        if _loop is None:
            _loop = asyncio.new_event_loop()
            threading.Thread(target=_loop.run_forever, name="earshot-client",
                             daemon=True).start()
    return asyncio.run_coroutine_threadsafe(coroutine, _loop).result()


class BlockingTranscriber:
    """Live transcription, blocking:

        with BlockingTranscriber("en-US") as t:
            t.write(samples, 16000)
            t.stop()
            for result in t:
                print(result.text, result.is_final)

    Same arguments and methods as Transcriber. Callbacks run on the
    module's event loop thread.
    """

    def __init__(self, locale: Optional[str] = None, *, executable: Optional[str] = None,
                 options: Optional[Mapping[str, Any]] = None,
                 env: Optional[Mapping[str, str]] = None,
                 on_status: Optional[StatusCallback] = None,
                 on_transcript: Optional[TranscriptCallback] = None,
                 start_timeout: Optional[float] = None) -> None:
        self._transcriber = _run(Transcriber.start(
            locale, executable=executable, options=options, env=env, on_status=on_status,
            on_transcript=on_transcript, start_timeout=start_timeout))
        self.locale = self._transcriber.locale
        self.sample_rate = self._transcriber.sample_rate

    def __enter__(self) -> "BlockingTranscriber":
        return self

    def __exit__(self, kind: Optional[Type[BaseException]], value: Optional[BaseException],
                 traceback: Optional[TracebackType]) -> None:
        _run(self._transcriber.__aexit__(kind, value, traceback))

    def write(self, samples: Samples, sample_rate: float) -> None:
        _run(self._transcriber.write(samples, sample_rate))

    def flush(self) -> None:
        _run(self._transcriber.flush())

    def stop(self) -> None:
        _run(self._transcriber.stop())

    def close(self) -> None:
        _run(self._transcriber.close())

    @property
    def pid(self) -> int:
        return self._transcriber.pid

    def __iter__(self) -> Iterator[Transcript]:
        while True:
            try:
                yield _run(self._transcriber.__anext__())
            except StopAsyncIteration:
                return


def transcribe_file(path: Union[str, "os.PathLike[str]"], locale: Optional[str] = None, *,
                    on_progress: Optional[Callable[[float], None]] = None,
                    executable: Optional[str] = None,
                    options: Optional[Mapping[str, Any]] = None,
                    env: Optional[Mapping[str, str]] = None,
                    start_timeout: Optional[float] = None) -> List[Transcript]:
    """earshot_client.transcribe_file, blocking; `on_progress` runs on the
    module's event loop thread."""
    return _run(file.transcribe_file(path, locale, on_progress=on_progress,
                                     executable=executable, options=options, env=env,
                                     start_timeout=start_timeout))


def list_locales(*, executable: Optional[str] = None,
                 env: Optional[Mapping[str, str]] = None) -> Locales:
    return _run(one_shot.list_locales(executable=executable, env=env))


def install(locale: str, on_progress: Optional[Callable[[float], None]] = None, *,
            executable: Optional[str] = None, env: Optional[Mapping[str, str]] = None) -> str:
    return _run(one_shot.install(locale, on_progress, executable=executable, env=env))


def release(locale: str, *, executable: Optional[str] = None,
            env: Optional[Mapping[str, str]] = None) -> bool:
    return _run(one_shot.release(locale, executable=executable, env=env))
