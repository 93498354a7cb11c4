"""Recognition results and the locales report."""

from dataclasses import dataclass, field
from typing import Any, Dict, List, Mapping, Optional


def _number(value: Any) -> Optional[float]:
    if isinstance(value, (int, float)) and not isinstance(value, bool):
        return float(value)
    return None


@dataclass(frozen=True)
class Word:
    """One word of a result: times with "audioTimeRange", confidence on
    finals with "transcriptionConfidence"."""

    text: str
    start: Optional[float] = None
    end: Optional[float] = None
    confidence: Optional[float] = None

    @classmethod
    def from_member(cls, member: Mapping[str, Any]) -> "Word":
        return cls(str(member.get("text", "")), _number(member.get("start")),
                   _number(member.get("end")), _number(member.get("confidence")))


_KNOWN = ("type", "text", "isFinal", "start", "end", "confidence", "words")


@dataclass(frozen=True)
class Transcript:
    """A "transcript" line: the text so far of the current utterance
    (`is_final` False, replaced by the next result) or its settled text
    (`is_final` True). `start`, `end` (seconds of the session) and `words`
    come with the init option "audioTimeRange", `confidence` on finals with
    "transcriptionConfidence"; `extra` holds members this version does not
    know."""

    text: str
    is_final: bool
    start: Optional[float] = None
    end: Optional[float] = None
    confidence: Optional[float] = None
    words: List[Word] = field(default_factory=list)
    extra: Dict[str, Any] = field(default_factory=dict)

    @classmethod
    def from_message(cls, message: Mapping[str, Any]) -> "Transcript":
        words = message.get("words")
        return cls(
            text=str(message.get("text", "")),
            is_final=message.get("isFinal") is True,
            start=_number(message.get("start")),
            end=_number(message.get("end")),
            confidence=_number(message.get("confidence")),
            words=[Word.from_member(w) for w in words if isinstance(w, dict)]
            if isinstance(words, list) else [],
            extra={k: v for k, v in message.items() if k not in _KNOWN},
        )


def _strings(value: Any) -> List[str]:
    return [str(v) for v in value] if isinstance(value, list) else []


@dataclass(frozen=True)
class Locales:
    """What `earshot --locales` reports. With `available` False the other
    lists are empty and `max_reserved` is 0."""

    available: bool
    supported: List[str]
    installed: List[str]
    reserved: List[str]
    max_reserved: int

    @classmethod
    def from_message(cls, message: Mapping[str, Any]) -> "Locales":
        most = message.get("maxReserved")
        return cls(message.get("available") is True, _strings(message.get("supported")),
                   _strings(message.get("installed")), _strings(message.get("reserved")),
                   most if isinstance(most, int) and not isinstance(most, bool) else 0)
