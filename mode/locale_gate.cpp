#include "mode/locale_gate.h"

#include "mode/bridge_error.h"

namespace earshot::mode {

void checkAvailability(platform::SpeechServices& speech) {
  if (!speech.isAvailable()) {
    throw BridgeError("Apple Speech requires macOS 26 and supported Apple hardware.");
  }
}

platform::Locale resolveLocale(platform::SpeechServices& speech, const std::string& requested,
                               GateMode mode) {
  std::optional<platform::Locale> resolved =
      speech.supportedLocale(platform::Locale::fromIdentifier(requested));
  if (!resolved) {
    const char* suffix = mode == GateMode::liveTranscription
                             ? ". Choose a supported language in Audio settings."
                             : ".";
    throw BridgeError("Apple Speech does not support language " + requested + suffix);
  }
  return *resolved;
}

platform::Locale passGate(platform::SpeechServices& speech, const std::string& requested,
                          GateMode mode) {
  checkAvailability(speech);
  return resolveLocale(speech, requested, mode);
}

}  // namespace earshot::mode
