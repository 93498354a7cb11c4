"""Live transcription with one earshot process, for asyncio."""

import asyncio
import json
import weakref
from types import TracebackType
from typing import Any, Callable, Dict, List, Mapping, Optional, Type, Union

from . import child
from .audio_lines import Samples, audio_lines, rate_number, sample_bytes
from .errors import EarshotError
from .transcript import Transcript

_END = object()  # after the last result in the queue

StatusCallback = Callable[[str, str], None]
TranscriptCallback = Callable[[Transcript], None]


class _Connection:
    """The process and everything in flight with it. Nothing here refers to
    the Transcriber, so one the host dropped can be collected and its process
    killed. The reader task owns the output; writers take `lock` so that lines
    of overlapping calls never interleave.

    The first failure settles every pending call, and every later call
    raises it too; `failure_raised` records that the host has seen it."""

    def __init__(self, on_status: Optional[StatusCallback],
                 on_transcript: Optional[TranscriptCallback]) -> None:
        self.on_status = on_status
        self.on_transcript = on_transcript
        self.child: Optional[child.Child] = None
        self.failure: Optional[EarshotError] = None
        self.failure_raised = False
        self.iteration_failed = False  # the iterator has raised the failure
        self.killed_with: Optional[EarshotError] = None
        self.stopped = False  # "stopped" came: every transcript was delivered
        self.closing = False  # stop() or close() was called
        self.closed = False  # close() was called
        self.results: "asyncio.Queue[Any]" = asyncio.Queue()
        self.flushes: "List[asyncio.Future[None]]" = []
        self.lock = asyncio.Lock()
        loop = asyncio.get_running_loop()
        self.ready: "asyncio.Future[Dict[str, Any]]" = loop.create_future()
        self.ended: "asyncio.Future[None]" = loop.create_future()
        self.reader: "Optional[asyncio.Future[None]]" = None

    def raise_failure(self) -> None:
        if self.failure is not None:
            self.failure_raised = True
            raise self.failure

    async def open(self, locale: Optional[str], executable: Optional[str],
                   options: Optional[Mapping[str, Any]], env: Optional[Mapping[str, str]],
                   timeout: Optional[float]) -> Dict[str, Any]:
        self.child = await child.start([], executable, env, with_input=True)
        self.reader = asyncio.ensure_future(self._read(self.child))
        init = dict(options or {})
        init.update(type="init", acknowledgeFlush=True)
        if locale is not None:
            init["locale"] = locale
        try:
            await self._send(json.dumps(init).encode() + b"\n")
        except EarshotError:
            pass  # the ready future says why
        try:
            return await asyncio.wait_for(asyncio.shield(self.ready), timeout)
        except asyncio.TimeoutError:
            self.kill(EarshotError("earshot was not ready within %g s" % (timeout or 0),
                                   "start-timeout"))
            await asyncio.shield(self.ended)
            self.raise_failure()
            raise
        except EarshotError:
            await asyncio.shield(self.ended)  # nothing is left running
            self.failure_raised = True
            raise

    async def _read(self, process: child.Child) -> None:
        try:
            async for message in child.messages(process):
                self._take(message)
        except EarshotError as error:
            self._fail(error)
        status = await child.finish(process)
        if self.killed_with is not None:
            self._fail(self.killed_with)
        if not (self.stopped and status == 0):
            self._fail(child.unexpected_end(status))
        if not self.ready.done():
            self.ready.set_exception(self.failure or EarshotError(
                "earshot stopped before it was ready", "program-exited"))
            self.ready.exception()  # retrieved: start() reports it
        for flush in self.flushes:
            if not flush.done():
                flush.set_result(None)
        self.flushes.clear()
        self.results.put_nowait(_END)
        self.ended.set_result(None)

    def _fail(self, error: EarshotError) -> None:
        if self.failure is not None:
            return
        self.failure = error
        if not self.ready.done():
            self.ready.set_exception(error)
            self.ready.exception()
        for flush in self.flushes:
            if not flush.done():
                flush.set_exception(error)
        self.flushes.clear()

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
                self._call(self.on_status, str(message.get("phase")), str(message.get("message")))
        elif kind == "error":
            self._fail(EarshotError(str(message.get("message"))))

    @staticmethod
    def _call(callback: Callable[..., None], *arguments: Any) -> None:
        # A failing callback is the host's fault; reading goes on.
        try:
            callback(*arguments)
        except Exception as error:  # noqa: BLE001
            asyncio.get_running_loop().call_exception_handler(
                {"message": "earshot_client callback failed", "exception": error})

    async def _failed(self) -> EarshotError:
        await asyncio.shield(self.ended)
        return self.failure or EarshotError("The transcriber was closed", "closed")

    async def _send(self, line: bytes) -> None:
        self.raise_failure()
        assert self.child is not None and self.child.process.stdin is not None
        if self.ended.done():
            raise await self._failed()
        try:
            self.child.process.stdin.write(line)
            await self.child.process.stdin.drain()
        except (BrokenPipeError, ConnectionResetError):
            error = await self._failed()
            self.failure_raised = True
            raise error from None

    def _check_open(self, call: str) -> None:
        if self.closed:
            raise RuntimeError("%s() after stop() or close()" % call)
        self.raise_failure()
        if self.closing:
            raise RuntimeError("%s() after stop() or close()" % call)
        if self.ended.done():
            raise RuntimeError("%s() after the transcriber ended" % call)

    async def write(self, data: bytes, sample_rate: Union[int, float]) -> None:
        self._check_open("write")
        async with self.lock:
            for line in audio_lines(data, sample_rate):
                await self._send(line)

    async def flush(self) -> None:
        self._check_open("flush")
        acknowledged: "asyncio.Future[None]" = asyncio.get_running_loop().create_future()
        async with self.lock:
            self.flushes.append(acknowledged)
            try:
                await self._send(b'{"type":"flush"}\n')
            except EarshotError:
                if acknowledged in self.flushes:
                    self.flushes.remove(acknowledged)
                raise
        try:
            await acknowledged
        except EarshotError:
            self.failure_raised = True
            raise

    async def stop(self) -> None:
        self._check_open("stop")
        self.closing = True
        async with self.lock:
            try:
                await self._send(b'{"type":"stop"}\n')
                assert self.child is not None and self.child.process.stdin is not None
                self.child.process.stdin.close()
            except EarshotError:
                pass  # raised below
        await asyncio.shield(self.ended)
        self.raise_failure()

    def kill(self, error: EarshotError) -> None:
        if self.child is not None and not self.ended.done() and self.killed_with is None:
            self.killed_with = error
            self.child.kill()

    async def close(self) -> None:
        self.closing = True
        self.closed = True
        self.kill(EarshotError("The transcriber was closed", "closed"))
        if self.reader is not None:
            await asyncio.shield(self.ended)

    async def next_result(self) -> Transcript:
        result = await self.results.get()
        if result is _END:
            self.results.put_nowait(_END)  # later calls end as well
            if self.failure is not None and not self.iteration_failed:
                self.iteration_failed = True  # raised once; later steps report the end
                self.raise_failure()
            raise StopAsyncIteration
        assert isinstance(result, Transcript)
        return result


def _abandon(connection: _Connection) -> None:
    if connection.child is not None:
        connection.child.kill()


class Transcriber:
    """Live transcription with one earshot process.

        async with Transcriber("en-US") as t:
            await t.write(samples, 16000)
            await t.stop()
            async for result in t:
                print(result.text, result.is_final)

    Results are kept for the iterator from the start: iterate while writing,
    or afterwards. `options` adds members to the "init" line (see
    docs/protocol.md: attributeOptions, contextualStrings, textForm,
    speakerAdaptation, speakerProfile). `start_timeout` (seconds) kills
    earshot when it is not ready in time.
    """

    def __init__(self, locale: Optional[str] = None, *, executable: Optional[str] = None,
                 options: Optional[Mapping[str, Any]] = None,
                 env: Optional[Mapping[str, str]] = None,
                 on_status: Optional[StatusCallback] = None,
                 on_transcript: Optional[TranscriptCallback] = None,
                 start_timeout: Optional[float] = None) -> None:
        self._settings = (locale, executable, options, env, start_timeout)
        self._callbacks = (on_status, on_transcript)
        self._connection: Optional[_Connection] = None
        self.locale: Optional[str] = None
        self.sample_rate: Optional[float] = None

    @classmethod
    async def start(cls, locale: Optional[str] = None, *, executable: Optional[str] = None,
                    options: Optional[Mapping[str, Any]] = None,
                    env: Optional[Mapping[str, str]] = None,
                    on_status: Optional[StatusCallback] = None,
                    on_transcript: Optional[TranscriptCallback] = None,
                    start_timeout: Optional[float] = None) -> "Transcriber":
        """Starts earshot; returns once it is ready, or raises its error."""
        transcriber = cls(locale, executable=executable, options=options, env=env,
                          on_status=on_status, on_transcript=on_transcript,
                          start_timeout=start_timeout)
        await transcriber._start()
        return transcriber

    async def _start(self) -> None:
        if self._connection is not None:
            raise RuntimeError("The transcriber is already started")
        self._connection = _Connection(*self._callbacks)
        weakref.finalize(self, _abandon, self._connection)
        try:
            ready = await self._connection.open(*self._settings)
        except BaseException:
            await self._connection.close()
            raise
        locale = ready.get("locale")
        rate = ready.get("sampleRate")
        self.locale = locale if isinstance(locale, str) else None
        self.sample_rate = float(rate) if isinstance(rate, (int, float)) else None

    def _started(self) -> _Connection:
        if self._connection is None:
            raise RuntimeError("The transcriber is not started")
        return self._connection

    async def __aenter__(self) -> "Transcriber":
        await self._start()
        return self

    async def __aexit__(self, kind: Optional[Type[BaseException]],
                        value: Optional[BaseException],
                        traceback: Optional[TracebackType]) -> None:
        connection = self._started()
        if kind is not None or connection.closing or connection.failure_raised:
            await self.close()  # a failure the host has seen is not raised again
        else:
            await self.stop()

    async def write(self, samples: Samples, sample_rate: float) -> None:
        """Sends 16-bit mono samples at `sample_rate` Hz (8000 to 192000);
        returns once the pipe to earshot has taken them. Bad samples or rates
        raise TypeError or ValueError at once, and nothing is sent."""
        rate = rate_number(sample_rate)
        data = sample_bytes(samples)
        await self._started().write(data, rate)

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
        connection = self._started()
        assert connection.child is not None
        return connection.child.pid

    @property
    def buffered_bytes(self) -> int:
        """Bytes written but not yet taken by the pipe to earshot."""
        connection = self._started()
        assert connection.child is not None and connection.child.process.stdin is not None
        transport = connection.child.process.stdin.transport
        if transport.is_closing():
            return 0
        size: int = transport.get_write_buffer_size()
        return size

    def __aiter__(self) -> "Transcriber":
        return self

    async def __anext__(self) -> Transcript:
        return await self._started().next_result()
