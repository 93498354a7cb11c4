"""Live on-device speech recognition through the earshot program.

asyncio: Transcriber, transcribe_file, list_locales, install, release.
Blocking: BlockingTranscriber and earshot_client.blocking's functions.
"""

from .blocking import BlockingTranscriber
from .errors import EarshotError, code_of
from .executable import find_executable
from .file import transcribe_file
from .one_shot import install, list_locales, release
from .transcriber import Transcriber
from .transcript import Locales, Transcript, Word
from .wav import read_wav

__all__ = [
    "BlockingTranscriber", "EarshotError", "Locales", "Transcriber", "Transcript", "Word",
    "code_of", "find_executable", "install", "list_locales", "read_wav", "release",
    "transcribe_file",
]
