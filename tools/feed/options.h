#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::feed {

enum class Action { Transcribe, Locales, Install, Release, ListDevices, Help, Version };

// What the person sees: plain text, earshot's own lines, captions from the
// finals, or one JSON line per word.
enum class Format { Text, Json, Srt, Vtt, Words };

// What the command line asked for, checked and complete.
struct FeedOptions {
  Action action = Action::Transcribe;
  // Audio files in order, "-" for standard input (at most once). Empty for
  // --mic and the one-shot actions.
  std::vector<std::string> inputs;
  // --mic: record from the sound server; `device` is a source name, empty
  // for the default one.
  bool mic = false;
  std::string device;
  // Set by --rate: the input is headerless signed 16-bit little-endian PCM
  // at this rate, `channels` interleaved, instead of a sound file.
  std::optional<double> rawRate;
  int channels = 1;
  std::string locale = "en-US";
  int chunkMs = 100;
  bool realtime = false;
  std::optional<double> flushEverySeconds;
  Format format = Format::Text;
  // --output: everything into this file; --output-dir: one file per input,
  // named after it. Both empty: standard output.
  std::string output;
  std::string outputDir;
  // --quiet: no progress line on a terminal's standard error.
  bool quiet = false;
  // Phrases earshot should expect (--vocabulary, then --vocabulary-file's
  // lines, read by the caller).
  std::vector<std::string> vocabulary;
  std::string vocabularyFile;
  // --spoken: the recognizer's bare words (lower case, no punctuation,
  // numbers as words) instead of text as people write it.
  bool spoken = false;
  // How long earshot may take to answer "init" before this tool gives up,
  // unless it says it is downloading a model.
  double readyTimeoutSeconds = 30;
  // Empty: look for earshot next to this tool, then on PATH.
  std::string earshotPath;
  // The locale of --install / --release.
  std::string assetLocale;
  // --adaptation (off, session or persistent) and --profile; empty: not
  // sent, earshot's defaults.
  std::string adaptation;
  std::string profile;
};

// A command line that cannot be run; what() says why, for a person.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// `arguments` excludes the program name. Flags (flags.h) take their value
// as the next argument, whatever it is, or after "=" (--locale=de-DE); a
// flag given twice keeps its last value, --vocabulary collects them all.
// Everything after "--" is an input. --help, then --version, win over
// anything else on the line.
FeedOptions parseArguments(const std::vector<std::string>& arguments);

// The file extension of one output file per input in `format`.
std::string_view formatExtension(Format format);

}  // namespace earshot::feed
