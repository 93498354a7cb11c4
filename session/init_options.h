#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "channel/json_message_fwd.h"
#include "platform/speech_analyzer.h"
#include "platform/speech_transcriber.h"

namespace earshot::session {

// Limits of "contextualStrings".
inline constexpr size_t kMaxContextualStrings = 100;
inline constexpr size_t kMaxPhraseWords = 10;
inline constexpr size_t kMaxPhraseBytes = 100;
// Longest "speakerProfile".
inline constexpr size_t kMaxSpeakerProfileBytes = 64;

// What the host may ask for in "init" besides the locale. A member that is
// absent or null asks for nothing, and so does an empty list.
struct InitOptions {
  // Besides the attributes, "textForm": how the text is written.
  platform::AttributeOptions attributes;
  std::vector<std::string> contextualStrings;
  // "acknowledgeFlush": write "flushed" once a flush has ended the session.
  bool acknowledgeFlush = false;
  // "speakerAdaptation" and "speakerProfile": how the recognizer adapts to
  // the speaker, and under which name what it learns is kept.
  platform::SpeakerAdaptationMode speakerAdaptation = platform::SpeakerAdaptationMode::persistent;
  std::string speakerProfile = platform::kDefaultSpeakerProfile;
};

// Reads the optional members of "init" and checks them strictly: a member of
// the wrong kind, an unknown value or a list over its limits throws a
// BridgeError that names the member.
InitOptions readInitOptions(const channel::IncomingMessage& init);

}  // namespace earshot::session
