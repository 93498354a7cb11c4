"""One recognition result."""

from dataclasses import dataclass, field
from typing import Any, Dict


@dataclass(frozen=True)
class Transcript:
    """A "transcript" line: the text so far of the current utterance
    (`is_final` False, replaced by the next result) or its settled text
    (`is_final` True). `extra` holds any other members earshot wrote, such as
    timings or a confidence asked for in the init options."""

    text: str
    is_final: bool
    extra: Dict[str, Any] = field(default_factory=dict)

    @classmethod
    def from_message(cls, message: Dict[str, Any]) -> "Transcript":
        extra = {k: v for k, v in message.items() if k not in ("type", "text", "isFinal")}
        return cls(str(message.get("text", "")), message.get("isFinal") is True, extra)
