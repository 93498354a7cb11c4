#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::feed {

enum class Action { Transcribe, Locales, Install, Release, Help };

// What the command line asked for, checked and complete.
struct FeedOptions {
  Action action = Action::Transcribe;
  // Audio file, or "-" for standard input. Empty for the one-shot actions.
  std::string input;
  // Set by --rate: the input is headerless signed 16-bit little-endian mono
  // at this rate instead of a sound file.
  std::optional<int> rawRate;
  std::string locale = "en-US";
  int chunkMs = 100;
  bool realtime = false;
  std::optional<double> flushEverySeconds;
  bool json = false;
  // Empty: look for earshot next to this tool, then on PATH.
  std::string earshotPath;
  // The locale of --install / --release.
  std::string assetLocale;
};

// A command line that cannot be run; what() says why, for a person.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `arguments` excludes the program name. Options take their value as the
// next argument or after "=" (--locale=de-DE).
FeedOptions parseArguments(const std::vector<std::string>& arguments);

std::string usageText(std::string_view program);

}  // namespace earshot::feed
