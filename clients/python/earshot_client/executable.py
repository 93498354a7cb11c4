"""Finding the earshot program."""

import os
import shutil
from typing import Mapping, Optional

from .errors import EarshotError


def find_executable(explicit: Optional[str] = None,
                    env: Optional[Mapping[str, str]] = None) -> str:
    """The explicit path, else $EARSHOT_EXECUTABLE, else "earshot" on PATH.
    A bare name is looked up on PATH as a shell would."""
    env = os.environ if env is None else env
    given = os.fspath(explicit) if explicit else env.get("EARSHOT_EXECUTABLE")
    if given:
        if os.sep in given:
            return given
        return shutil.which(given, path=env.get("PATH", os.defpath)) or given
    found = shutil.which("earshot", path=env.get("PATH", os.defpath))
    if found:
        return found
    raise EarshotError(
        'Cannot find the earshot program: pass "executable", set EARSHOT_EXECUTABLE '
        "or put earshot on PATH", "program-not-found")
