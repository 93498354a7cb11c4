"""Live on-device speech recognition through the earshot program.

asyncio: Transcriber, list_locales, install, release.
Blocking: BlockingTranscriber and earshot_client.blocking's functions.
"""

from .blocking import BlockingTranscriber
from .errors import EarshotError
from .executable import find_executable
from .one_shot import install, list_locales, release
from .transcriber import Transcriber
from .transcript import Transcript

__all__ = [
    "BlockingTranscriber", "EarshotError", "Transcriber", "Transcript", "find_executable",
    "install", "list_locales", "release",
]
