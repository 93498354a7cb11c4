#pragma once

#include <string>

#include "platform/locale.h"
#include "platform/speech_services.h"

namespace earshot::mode {

// The modes that pass the gate; each words its unsupported-language text a
// little differently.
enum class GateMode { liveTranscription, install, release };

// Throws BridgeError when on-device transcription cannot run here.
void checkAvailability(platform::SpeechServices& speech);

// The supported locale for the requested string, or BridgeError quoting the
// string exactly as given.
platform::Locale resolveLocale(platform::SpeechServices& speech, const std::string& requested,
                               GateMode mode);

// Both checks, availability first.
platform::Locale passGate(platform::SpeechServices& speech, const std::string& requested,
                          GateMode mode);

}  // namespace earshot::mode
