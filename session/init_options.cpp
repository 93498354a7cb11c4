#include "session/init_options.h"

#include <algorithm>

#include "channel/json_message.h"
#include "mode/bridge_error.h"
#include "platform/phrase_words.h"

namespace earshot::session {
namespace {

platform::AttributeOptions readAttributes(const channel::IncomingMessage& init) {
  platform::AttributeOptions attributes;
  if (!init.has("attributeOptions")) return attributes;
  auto options = init.strings("attributeOptions");
  if (!options) throw mode::BridgeError("attributeOptions must be an array of strings");
  for (std::string_view option : *options) {
    if (option == "audioTimeRange") {
      attributes.audioTimeRange = true;
    } else if (option == "transcriptionConfidence") {
      attributes.transcriptionConfidence = true;
    } else {
      throw mode::BridgeError(
          "attributeOptions may only hold \"audioTimeRange\" and \"transcriptionConfidence\"");
    }
  }
  return attributes;
}

// "written" (the default) or "spoken": how transcripts are written.
platform::TextForm readTextForm(const channel::IncomingMessage& init) {
  if (!init.has("textForm")) return platform::TextForm::written;
  std::optional<std::string_view> form = init.string("textForm");
  if (form == "written") return platform::TextForm::written;
  if (form == "spoken") return platform::TextForm::spoken;
  throw mode::BridgeError("textForm must be \"written\" or \"spoken\"");
}

std::vector<std::string> readContextualStrings(const channel::IncomingMessage& init) {
  std::vector<std::string> phrases;
  if (!init.has("contextualStrings")) return phrases;
  auto strings = init.strings("contextualStrings");
  if (!strings) throw mode::BridgeError("contextualStrings must be an array of strings");
  if (strings->size() > kMaxContextualStrings) {
    throw mode::BridgeError("contextualStrings may hold at most " +
                            std::to_string(kMaxContextualStrings) + " phrases");
  }
  for (std::string_view phrase : *strings) {
    size_t words = platform::phraseWords(phrase).size();
    if (words == 0 || words > kMaxPhraseWords || phrase.size() > kMaxPhraseBytes) {
      throw mode::BridgeError("Each phrase of contextualStrings must have 1 to " +
                              std::to_string(kMaxPhraseWords) + " words and at most " +
                              std::to_string(kMaxPhraseBytes) + " bytes");
    }
    phrases.emplace_back(phrase);
  }
  return phrases;
}

bool readFlag(const channel::IncomingMessage& init, const char* name) {
  if (!init.has(name)) return false;
  std::optional<bool> flag = init.boolean(name);
  if (!flag) {
    throw mode::BridgeError(std::string("Invalid init member ") + name +
                            ": expected true or false");
  }
  return *flag;
}

platform::SpeakerAdaptationMode readSpeakerAdaptation(const channel::IncomingMessage& init) {
  if (!init.has("speakerAdaptation")) return platform::SpeakerAdaptationMode::persistent;
  std::optional<std::string_view> value = init.string("speakerAdaptation");
  if (value == "persistent") return platform::SpeakerAdaptationMode::persistent;
  if (value == "session") return platform::SpeakerAdaptationMode::session;
  if (value == "off") return platform::SpeakerAdaptationMode::off;
  throw mode::BridgeError("speakerAdaptation must be \"persistent\", \"session\" or \"off\"");
}

// The name becomes part of a file name, so it keeps to a small safe set;
// "." and ".." would read as folders.
std::string readSpeakerProfile(const channel::IncomingMessage& init) {
  if (!init.has("speakerProfile")) return platform::kDefaultSpeakerProfile;
  std::optional<std::string_view> profile = init.string("speakerProfile");
  auto allowed = [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '-';
  };
  if (!profile || profile->empty() || profile->size() > kMaxSpeakerProfileBytes ||
      !std::all_of(profile->begin(), profile->end(), allowed) || *profile == "." ||
      *profile == "..") {
    throw mode::BridgeError("speakerProfile must be 1 to " +
                            std::to_string(kMaxSpeakerProfileBytes) +
                            " characters of A-Z, a-z, 0-9, \".\", \"_\" and \"-\", "
                            "other than \".\" and \"..\"");
  }
  return std::string(*profile);
}

}  // namespace

InitOptions readInitOptions(const channel::IncomingMessage& init) {
  InitOptions options;
  options.attributes = readAttributes(init);
  options.contextualStrings = readContextualStrings(init);
  options.acknowledgeFlush = readFlag(init, "acknowledgeFlush");
  options.speakerAdaptation = readSpeakerAdaptation(init);
  options.speakerProfile = readSpeakerProfile(init);
  options.attributes.textForm = readTextForm(init);
  return options;
}

}  // namespace earshot::session
