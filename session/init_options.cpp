#include "session/init_options.h"

#include "channel/json_message.h"
#include "mode/bridge_error.h"

namespace earshot::session {
namespace {

size_t wordCount(std::string_view phrase) {
  size_t words = 0;
  bool inWord = false;
  for (char c : phrase) {
    bool space = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    if (!space && !inWord) ++words;
    inWord = !space;
  }
  return words;
}

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
    size_t words = wordCount(phrase);
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

}  // namespace

InitOptions readInitOptions(const channel::IncomingMessage& init) {
  InitOptions options;
  options.attributes = readAttributes(init);
  options.contextualStrings = readContextualStrings(init);
  options.acknowledgeFlush = readFlag(init, "acknowledgeFlush");
  options.attributes.textForm = readTextForm(init);
  return options;
}

}  // namespace earshot::session
