"""The one-shot modes: list, install and release locales."""

from typing import Any, Callable, Dict, List, Mapping, Optional

from . import child
from .errors import EarshotError
from .transcript import Locales


async def _run_mode(args: List[str], executable: Optional[str],
                    env: Optional[Mapping[str, str]],
                    on_message: Callable[[Dict[str, Any]], Any]) -> Any:
    """Runs a mode to its end; `on_message` returns a value (not None) to
    finish with once the program has exited with status 0."""
    process = await child.start(args, executable, env, with_input=False)
    failure: Optional[EarshotError] = None
    outcome = None
    try:
        async for message in child.messages(process):
            if message.get("type") == "error":
                if failure is None:
                    failure = EarshotError(str(message.get("message")))
            elif outcome is None:
                outcome = on_message(message)
    except EarshotError as error:
        failure = failure or error
    finally:
        status = await child.finish(process)
    if failure is None and (status != 0 or outcome is None):
        failure = child.unexpected_end(status)
    if failure is not None:
        raise failure
    return outcome


async def list_locales(*, executable: Optional[str] = None,
                       env: Optional[Mapping[str, str]] = None) -> Locales:
    """What `earshot --locales` says."""
    def take(message: Dict[str, Any]) -> Optional[Locales]:
        if message.get("type") == "locales":
            return Locales.from_message(message)
        return None
    locales: Locales = await _run_mode(["--locales"], executable, env, take)
    return locales


async def install(locale: str, on_progress: Optional[Callable[[float], None]] = None, *,
                  executable: Optional[str] = None,
                  env: Optional[Mapping[str, str]] = None) -> str:
    """Installs a locale's speech model; `on_progress(fraction)` follows the
    download. Returns the installed locale in BCP 47 form."""
    def take(message: Dict[str, Any]) -> Optional[str]:
        if message.get("type") == "install-progress":
            fraction = message.get("fraction")
            if on_progress and isinstance(fraction, (int, float)):
                on_progress(float(fraction))
            return None
        if message.get("type") == "install-done":
            return str(message.get("locale"))
        return None
    installed: str = await _run_mode(["--install", str(locale)], executable, env, take)
    return installed


async def release(locale: str, *, executable: Optional[str] = None,
                  env: Optional[Mapping[str, str]] = None) -> bool:
    """Gives up a locale's reservation; True when something was released."""
    def take(message: Dict[str, Any]) -> Optional[bool]:
        if message.get("type") == "release-done":
            return message.get("released") is True
        return None
    released: bool = await _run_mode(["--release", str(locale)], executable, env, take)
    return released
