"""Live transcription with one earshot process, for asyncio."""

import asyncio
import json
import weakref
from typing import Any, Callable, Dict, List, Mapping, Optional

from . import child
from .audio_lines import Samples, audio_lines, check_rate, sample_bytes
from .errors import EarshotError
from .transcript import Transcript

_END = object()  # after the last result in the queue


class _Connection:
    """The process and everything in flight with it. Nothing here refers to
    the Transcriber, so one the host dropped can be collected and its process
    killed. The reader task owns the output; writers take `lock` so that lines
    of overlapping calls never interleave."""

    def __init__(self, on_status, on_transcript):
        self.on_status = on_status
        self.on_transcript = on_transcript
        self.process = None
        self.failure: Optional[EarshotError] = None
        self.stopped = False  # "stopped" came: every transcript was delivered
        self.closing = False  # stop() or close() was called
        self.killed = False  # close() was called
        self.failure_reported = False  # the iterator raised the failure
        self.results: "asyncio.Queue[Any]" = asyncio.Queue()
        self.flushes: List["asyncio.Future[None]"] = []
        self.lock = asyncio.Lock()
        loop = asyncio.get_running_loop()
        self.ready = loop.create_future()
        self.ended = loop.create_future()
        self.reader = None

    async def open(self, locale, executable, options, env) -> Dict[str, Any]:
        self.process = await child.start([], executable, env, with_input=True)
        self.reader = asyncio.ensure_future(self._read())
        init = dict(options or {})
        init.update(type="init", acknowledgeFlush=True)
        if locale is not None:
            init["locale"] = locale
        try:
            await self._send(json.dumps(init).encode() + b"\n")
        except EarshotError:
            pass  # the ready future says why
        return await asyncio.shield(self.ready)

    async def _read(self) -> None:
        failure = None
        try:
            async for message in child.messages(self.process):
                self._take(message)
        except EarshotError as error:
            failure = error
        status = await child.finish(self.process)
        clean = failure is None and self.failure is None and self.stopped and status == 0
        if not clean and self.failure is None:
            if failure is not None:
                self.failure = failure
            elif self.killed:
                self.failure = EarshotError("The transcriber was closed")
            else:
                self.failure = child.unexpected_end(status)
        error = None if clean else self.failure
        if not self.ready.done():
            self.ready.set_exception(error or EarshotError("earshot stopped before it was ready"))
            self.ready.exception()  # retrieved: start() reports it
        for flush in self.flushes:
            if not flush.done():
                if error:
                    flush.set_exception(error)
                else:
                    flush.set_result(None)
        self.flushes.clear()
        self.results.put_nowait(_END)
        self.ended.set_result(None)

    def _take(self, message: Dict[str, Any]) -> None:
        kind = message.get("type")
        if kind == "ready":
            if not self.ready.done():
                self.ready.set_result(message)
        elif kind == "transcript":
            result = Transcript.from_message(message)
            self.results.put_nowait(result)
            if self.on_transcript:
                self._call(self.on_transcript, result)
        elif kind == "flushed":
            if self.flushes:
                flush = self.flushes.pop(0)
                if not flush.done():
                    flush.set_result(None)
        elif kind == "stopped":
            self.stopped = True
        elif kind == "status":
            if self.on_status:
                self._call(self.on_status, message.get("phase"), message.get("message"))
        elif kind == "error":
            if self.failure is None:
                self.failure = EarshotError(str(message.get("message")))

    @staticmethod
    def _call(callback, *arguments) -> None:
        # A failing callback is the host's fault; reading goes on.
        try:
            callback(*arguments)
        except Exception as error:  # noqa: BLE001
            asyncio.get_running_loop().call_exception_handler(
                {"message": "earshot_client callback failed", "exception": error})

    async def _failed(self) -> EarshotError:
        await asyncio.shield(self.ended)
        return self.failure or EarshotError("The transcriber was closed")

    async def _send(self, line: bytes) -> None:
        if self.ended.done():
            raise await self._failed()
        try:
            self.process.stdin.write(line)
            await self.process.stdin.drain()
        except (BrokenPipeError, ConnectionResetError):
            raise await self._failed() from None

    def _check_open(self) -> None:
        if self.ended.done():
            raise self.failure or EarshotError("The transcriber is stopped")
        if self.closing:
            raise EarshotError("The transcriber is stopped")

    async def write(self, data: bytes, sample_rate: float) -> None:
        self._check_open()
        async with self.lock:
            for line in audio_lines(data, sample_rate):
                await self._send(line)

    async def flush(self) -> None:
        self._check_open()
        acknowledged = asyncio.get_running_loop().create_future()
        async with self.lock:
            self.flushes.append(acknowledged)
            try:
                await self._send(b'{"type":"flush"}\n')
            except EarshotError:
                if acknowledged in self.flushes:
                    self.flushes.remove(acknowledged)
                raise
        await acknowledged

    async def stop(self) -> None:
        if not self.closing:
            self.closing = True
            async with self.lock:
                try:
                    await self._send(b'{"type":"stop"}\n')
                    self.process.stdin.close()
                except EarshotError:
                    pass  # reported below
        await asyncio.shield(self.ended)
        if self.failure is not None:
            raise self.failure

    async def close(self) -> None:
        self.closing = True
        if self.process is not None and not self.ended.done():
            self.killed = True
            child.kill(self.process)
        if self.reader is not None:
            await asyncio.shield(self.ended)

    async def next_result(self) -> Transcript:
        result = await self.results.get()
        if result is _END:
            self.results.put_nowait(_END)  # later calls end as well
            if self.failure is not None and not self.failure_reported:
                self.failure_reported = True  # raised once; later calls report the end
                raise self.failure
            raise StopAsyncIteration
        return result


def _abandon(connection: _Connection) -> None:
    if connection.process is not None:
        child.kill(connection.process)


class Transcriber:
    """Live transcription with one earshot process.

        async with Transcriber("en-US") as t:
            await t.write(samples, 16000)
            await t.stop()
            async for result in t:
                print(result.text, result.is_final)

    Results are kept for the iterator from the start: iterate while writing,
    or afterwards. `options` adds members to the "init" line. `text_form` is
    "written" (earshot's default: "Go forward 10 meters.") or "spoken" (the
    bare words: "go forward ten meters").
    """

    def __init__(self, locale: Optional[str] = None, *, executable: Optional[str] = None,
                 options: Optional[Dict[str, Any]] = None,
                 env: Optional[Mapping[str, str]] = None,
                 on_status: Optional[Callable[[str, str], None]] = None,
                 on_transcript: Optional[Callable[[Transcript], None]] = None,
                 text_form: Optional[str] = None):
        if text_form is not None:
            options = dict(options or {}, textForm=text_form)
        self._settings = (locale, executable, options, env)
        self._callbacks = (on_status, on_transcript)
        self._connection: Optional[_Connection] = None
        self.locale: Optional[str] = None
        self.sample_rate: Optional[float] = None

    @classmethod
    async def start(cls, locale: Optional[str] = None, **settings: Any) -> "Transcriber":
        """Starts earshot; returns once it is ready, or raises its error."""
        transcriber = cls(locale, **settings)
        await transcriber._start()
        return transcriber

    async def _start(self) -> None:
        if self._connection is not None:
            raise EarshotError("The transcriber is already started")
        self._connection = _Connection(*self._callbacks)
        weakref.finalize(self, _abandon, self._connection)
        try:
            ready = await self._connection.open(*self._settings)
        except BaseException:
            await self._connection.close()
            raise
        self.locale = ready.get("locale")
        self.sample_rate = ready.get("sampleRate")

    def _started(self) -> _Connection:
        if self._connection is None:
            raise EarshotError("The transcriber is not started")
        return self._connection

    async def __aenter__(self) -> "Transcriber":
        await self._start()
        return self

    async def __aexit__(self, kind, value, traceback) -> None:
        if kind is None:
            await self.stop()
        else:
            await self.close()

    async def write(self, samples: Samples, sample_rate: float) -> None:
        """Sends 16-bit mono samples at `sample_rate` Hz; returns once the
        pipe to earshot has taken them."""
        check_rate(sample_rate)
        await self._started().write(sample_bytes(samples), sample_rate)

    async def flush(self) -> None:
        """Ends the current session; returns once every transcript of the
        audio written before it has been delivered."""
        await self._started().flush()

    async def stop(self) -> None:
        """Ends the last session and the process; returns once every
        transcript has been delivered and the process has exited."""
        await self._started().stop()

    async def close(self) -> None:
        """Kills the process at once, dropping what it has not written yet."""
        if self._connection is not None:
            await self._connection.close()

    @property
    def pid(self) -> int:
        return self._started().process.pid

    @property
    def buffered_bytes(self) -> int:
        """Bytes written but not yet taken by the pipe to earshot."""
        transport = self._started().process.stdin.transport
        return 0 if transport.is_closing() else transport.get_write_buffer_size()

    def __aiter__(self) -> "Transcriber":
        return self

    async def __anext__(self) -> Transcript:
        return await self._started().next_result()
