"""The errors of the package. EarshotError is every failure that comes from
earshot or from its process; `code` says which kind, from a small set that
docs/protocol.md tables beside earshot's own error texts."""

from typing import Optional, Tuple

# earshot's documented "error" texts by their beginning; the first match wins.
# Texts of the parts earshot builds on that are not listed here (a
# recognizer's own failure) are "engine-failed".
_TEXT_CODES: Tuple[Tuple[str, str], ...] = (
    ("Apple Speech requires ", "unsupported-system"),
    ("Apple Speech does not support language ", "unsupported-locale"),
    ("No downloadable speech model for ", "unsupported-locale"),
    ("Apple speech model is unavailable for ", "model-unavailable"),
    ("Speech model for ", "model-unavailable"),
    ("Cannot install the speech model for ", "install-failed"),
    ("Could not install the speech model for ", "install-failed"),
    ("Could not release ", "release-failed"),
    ("Expected init message", "invalid-init"),
    ("Invalid init member ", "invalid-init"),
    ("attributeOptions ", "invalid-init"),
    ("contextualStrings ", "invalid-init"),
    ("Each phrase of contextualStrings ", "invalid-init"),
    ("Contextual phrases could not be added", "invalid-init"),
    ("textForm ", "invalid-init"),
    ("speakerAdaptation ", "invalid-init"),
    ("speakerProfile ", "invalid-init"),
    ("Invalid audio message", "invalid-audio"),
    ("Expected mono Int16 PCM ", "invalid-audio"),
    ("Unsupported input audio format", "invalid-audio"),
    ("Audio conversion ", "audio-conversion-failed"),
    ("Audio converter ", "audio-conversion-failed"),
    ("Audio resampling failed", "audio-conversion-failed"),
    ("Empty: no JSON found", "protocol-error"),
    ("Problem while parsing ", "protocol-error"),
    ("The JSON document has an improper structure", "protocol-error"),
)


def code_of(text: str) -> str:
    """The code of one of earshot's "error" texts."""
    for beginning, code in _TEXT_CODES:
        if text.startswith(beginning):
            return code
    return "engine-failed"


class EarshotError(Exception):
    """A failure of earshot or of its process.

    The message is earshot's own "error" text when it wrote one; `code` is
    one of "unsupported-system", "unsupported-locale", "model-unavailable",
    "install-failed", "release-failed", "invalid-init", "invalid-audio",
    "audio-conversion-failed", "protocol-error", "engine-failed",
    "program-exited", "program-not-found", "start-timeout", "closed" and
    "invalid-file".
    """

    def __init__(self, message: str, code: Optional[str] = None) -> None:
        super().__init__(message)
        self.code: str = code if code is not None else code_of(message)
