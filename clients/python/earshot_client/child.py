"""Starting earshot and keeping track of the processes still running."""

import asyncio
import atexit
import json
import os
import signal
import sys
from typing import Any, AsyncIterator, Dict, List, Mapping, Optional, Set, Tuple

from .errors import EarshotError
from .executable import find_executable

# Output lines are short; a generous limit still guards against a runaway one.
_LINE_LIMIT = 16 * 1024 * 1024

# How long output is still read after the process has exited: what it wrote
# is in the pipe by then, and a process it started may hold the pipe open for
# ever.
_DRAIN_AFTER_EXIT = 0.1

# A host killed by a signal runs no exit handler. On Linux the child is
# started through util-linux's setpriv, which asks the kernel to kill it when
# the host's thread that started it ends, whatever the way, and then runs
# earshot in its own place (same process id).
_LAUNCHER = "/usr/bin/setpriv"


class _Protocol(asyncio.subprocess.SubprocessStreamProtocol):
    """Learns the exit as it happens (Process.wait() also waits for the
    pipes), ends the output a moment after it, and retrieves the input pipe's
    failure, which nothing else awaits."""

    def __init__(self, limit: int, loop: asyncio.AbstractEventLoop) -> None:
        super().__init__(limit=limit, loop=loop)
        self.exited: "asyncio.Future[None]" = loop.create_future()
        self._loop_of = loop

    def process_exited(self) -> None:
        super().process_exited()
        if not self.exited.done():
            self.exited.set_result(None)
        self._loop_of.call_later(_DRAIN_AFTER_EXIT, self._end_output)

    def _end_output(self) -> None:
        transport = getattr(self, "_transport", None)
        output = transport.get_pipe_transport(1) if transport is not None else None
        if output is not None:
            output.close()  # the reader then sees the end of its input

    def pipe_connection_lost(self, fd: int, exc: Optional[Exception]) -> None:
        super().pipe_connection_lost(fd, exc)
        closed = getattr(self, "_stdin_closed", None)
        if fd == 0 and closed is not None and closed.done() and not closed.cancelled():
            closed.exception()


class Child:
    """One running earshot: `process` for its pipes, `exited` once it has."""

    def __init__(self, process: "asyncio.subprocess.Process", exited: "asyncio.Future[None]"):
        self.process = process
        self.exited = exited

    @property
    def pid(self) -> int:
        return self.process.pid

    @property
    def returncode(self) -> Optional[int]:
        return self.process.returncode

    def kill(self) -> None:
        if not self.exited.done() and _still_ours(self.process.pid):
            try:
                os.kill(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass


# Children still running, killed when the interpreter exits, so that a host
# that ends without stopping leaves nothing behind.
_running: Set[Child] = set()


@atexit.register
def _kill_running() -> None:
    for running in list(_running):
        running.kill()


def process_status(pid: int) -> Optional[Tuple[str, int]]:
    """Process `pid`'s state letter ("Z" for a zombie) and parent from /proc;
    None once it is gone. OSError where there is no /proc."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except (FileNotFoundError, ProcessLookupError):
        return None
    # The command name, in parentheses, may hold spaces and parentheses itself.
    state, parent = stat[stat.rindex(")") + 2:].split()[:2]
    return state, int(parent)


def _still_ours(pid: int) -> bool:
    # Once the event loop is closed a reaped child may not be marked as ended;
    # its number could then name another process. A child of ours is one.
    try:
        status = process_status(pid)
    except OSError:
        return True  # no /proc here: trust the exit future
    return status is not None and status[1] == os.getpid()


def _command(program: str, args: List[str]) -> List[str]:
    if sys.platform.startswith("linux") and os.access(_LAUNCHER, os.X_OK):
        return [_LAUNCHER, "--pdeathsig", "KILL", "--", program, *args]
    return [program, *args]


async def start(args: List[str], executable: Optional[str],
                env: Optional[Mapping[str, str]], with_input: bool) -> Child:
    program = find_executable(executable, env)
    if not os.path.isfile(program) or not os.access(program, os.X_OK):
        why = "no such file" if not os.path.exists(program) else "not an executable file"
        raise EarshotError("Cannot run %s: %s" % (program, why), "program-not-found")
    loop = asyncio.get_running_loop()
    try:
        transport, protocol = await loop.subprocess_exec(
            lambda: _Protocol(_LINE_LIMIT, loop), *_command(program, args),
            stdin=asyncio.subprocess.PIPE if with_input else asyncio.subprocess.DEVNULL,
            stdout=asyncio.subprocess.PIPE, stderr=None,
            env=None if env is None else dict(env))
    except OSError as error:
        raise EarshotError("Cannot run %s: %s" % (program, error), "program-not-found") from error
    child = Child(asyncio.subprocess.Process(transport, protocol, loop), protocol.exited)
    _running.add(child)
    return child


async def messages(child: Child) -> AsyncIterator[Dict[str, Any]]:
    """Each output line as a JSON object, until the output ends."""
    output = child.process.stdout
    assert output is not None
    while True:
        try:
            line = await output.readline()
        except ValueError as error:  # longer than the limit
            child.kill()
            raise EarshotError("earshot wrote an overlong line", "protocol-error") from error
        if not line:
            return
        try:
            message = json.loads(line)
        except ValueError:
            child.kill()
            raise EarshotError("earshot wrote a line that is not JSON: %r" % line[:200],
                               "protocol-error") from None
        if not isinstance(message, dict):
            child.kill()
            raise EarshotError("earshot wrote a line that is not a JSON object: %r" % line[:200],
                               "protocol-error")
        yield message


async def finish(child: Child) -> int:
    """The exit status, once the process has exited; its pipes are closed."""
    await asyncio.shield(child.exited)
    _running.discard(child)
    transport = getattr(child.process, "_transport", None)
    if transport is not None:
        transport.close()
    status = child.process.returncode
    return status if status is not None else -signal.SIGKILL


def unexpected_end(status: int) -> EarshotError:
    if status < 0:
        try:
            how = "was killed by %s" % signal.Signals(-status).name
        except ValueError:
            how = "was killed by signal %d" % -status
    else:
        how = "exited with status %d" % status
    return EarshotError("earshot %s without an error message" % how, "program-exited")
