"""Whether the processes the library starts still run, as /proc tells
(read by the library's own helper, which it uses to tell its children)."""

import os
import time
from typing import List, Optional

from earshot_client.child import process_status


def _parent_while_running(pid: int) -> Optional[int]:
    """The parent of `pid` while it runs; None once it has ended (a zombie
    has)."""
    try:
        status = process_status(pid)
    except OSError:
        return None
    return status[1] if status is not None and status[0] != "Z" else None


def is_running(pid: int) -> bool:
    """Running and not a zombie."""
    return _parent_while_running(pid) is not None


def ends(pid: int, seconds: float = 10) -> bool:
    """Waits up to `seconds` for `pid` to end; True when it did."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not is_running(pid):
            return True
        time.sleep(0.02)
    return False


def children() -> List[int]:
    """The processes this one started that still run."""
    pids = [int(entry) for entry in os.listdir("/proc") if entry.isdigit()]
    return [pid for pid in pids if _parent_while_running(pid) == os.getpid()]
