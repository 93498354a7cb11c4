#include "mode/locale_gate.h"

#include "mode/bridge_error.h"
#include "protocol/texts.h"

namespace earshot::mode {

void checkAvailability(platform::SpeechServices& speech) {
  if (!speech.isAvailable()) {
    throw BridgeError(protocol::text::kSpeechUnavailable);
  }
}

platform::Locale resolveLocale(platform::SpeechServices& speech, const std::string& requested,
                               GateMode mode) {
  std::optional<platform::Locale> resolved =
      speech.supportedLocale(platform::Locale::fromIdentifier(requested));
  if (!resolved) {
    throw BridgeError(protocol::text::unsupportedLanguage(
        requested, mode == GateMode::liveTranscription ? protocol::text::Refusal::liveTranscription
                                                       : protocol::text::Refusal::assetMode));
  }
  return *resolved;
}

platform::Locale passGate(platform::SpeechServices& speech, const std::string& requested,
                          GateMode mode) {
  checkAvailability(speech);
  return resolveLocale(speech, requested, mode);
}

}  // namespace earshot::mode
