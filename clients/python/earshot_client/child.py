"""Starting earshot and keeping track of the processes still running."""

import asyncio
import atexit
import json
import os
import signal
from typing import Any, AsyncIterator, Dict, List, Mapping, Optional

from .errors import EarshotError
from .executable import find_executable

# Output lines are short; a generous limit still guards against a runaway one.
_LINE_LIMIT = 16 * 1024 * 1024

# Processes still running, killed when the interpreter exits, so that a host
# that ends without stopping leaves nothing behind.
_running = set()


@atexit.register
def _kill_running() -> None:
    for process in list(_running):
        kill(process)


def _still_ours(pid: int) -> bool:
    # Once the event loop is closed a reaped child may not be marked as ended;
    # its number could then name another process. A child of ours is one.
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except FileNotFoundError:
        return False
    except OSError:
        return True  # no /proc here: trust the return code
    return int(stat[stat.rindex(")") + 2:].split()[1]) == os.getpid()


def kill(process: "asyncio.subprocess.Process") -> None:
    if process.returncode is None and _still_ours(process.pid):
        try:
            os.kill(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


async def start(args: List[str], executable: Optional[str],
                env: Optional[Mapping[str, str]], with_input: bool
                ) -> "asyncio.subprocess.Process":
    program = find_executable(executable, env)
    try:
        process = await asyncio.create_subprocess_exec(
            program, *args,
            stdin=asyncio.subprocess.PIPE if with_input else asyncio.subprocess.DEVNULL,
            stdout=asyncio.subprocess.PIPE,
            env=None if env is None else dict(env),
            limit=_LINE_LIMIT)
    except OSError as error:
        raise EarshotError("Cannot run %s: %s" % (program, error)) from error
    _running.add(process)
    return process


async def messages(process: "asyncio.subprocess.Process") -> AsyncIterator[Dict[str, Any]]:
    """Each output line as JSON, until the output ends."""
    while True:
        try:
            line = await process.stdout.readline()
        except ValueError as error:  # longer than the limit
            kill(process)
            raise EarshotError("earshot wrote an overlong line") from error
        if not line:
            return
        try:
            message = json.loads(line)
        except ValueError:
            kill(process)
            raise EarshotError("earshot wrote a line that is not JSON: %r" % line[:200]) from None
        if isinstance(message, dict):
            yield message


async def finish(process: "asyncio.subprocess.Process") -> int:
    status = await process.wait()
    _running.discard(process)
    return status


def unexpected_end(status: int) -> EarshotError:
    if status < 0:
        try:
            how = "was killed by %s" % signal.Signals(-status).name
        except ValueError:
            how = "was killed by signal %d" % -status
    else:
        how = "exited with status %d" % status
    return EarshotError("earshot %s without an error message" % how)
