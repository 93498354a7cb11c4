#include "tools/feed/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace earshot::feed {
namespace {

int parseWhole(const std::string& option, const std::string& text, int lowest, int highest) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < lowest ||
      value > highest) {
    throw UsageError(option + " wants a whole number from " + std::to_string(lowest) + " to " +
                     std::to_string(highest) + ", not \"" + text + "\"");
  }
  return value;
}

std::optional<double> parsePositive(const std::string& text) {
  char* end = nullptr;
  double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0.0) return std::nullopt;
  return value;
}

double parseSeconds(const std::string& option, const std::string& text) {
  std::optional<double> value = parsePositive(text);
  if (!value) {
    throw UsageError(option + " wants a positive number of seconds, not \"" + text + "\"");
  }
  return *value;
}

double parseRate(const std::string& option, const std::string& text) {
  std::optional<double> value = parsePositive(text);
  if (!value || *value < 1.0 || *value > 1'000'000.0) {
    throw UsageError(option + " wants a number of hertz from 1 to 1000000, not \"" + text + "\"");
  }
  return *value;
}

Format parseFormat(const std::string& text) {
  const std::pair<std::string_view, Format> names[] = {{"text", Format::Text},
                                                       {"json", Format::Json},
                                                       {"srt", Format::Srt},
                                                       {"vtt", Format::Vtt},
                                                       {"words", Format::Words}};
  for (const auto& [name, format] : names) {
    if (text == name) return format;
  }
  throw UsageError("--format wants one of text, json, srt, vtt and words, not \"" + text + "\"");
}

// Options that pick another action than transcribing, in the order given;
// only the ones before "--" count.
std::vector<std::string> actionsGiven(const std::vector<std::string>& arguments) {
  std::vector<std::string> found;
  for (const std::string& argument : arguments) {
    if (argument == "--") break;
    std::string name = argument.substr(0, argument.find('='));
    for (const char* action : {"--locales", "--install", "--release", "--list-devices"}) {
      if (name == action) found.push_back(name);
    }
  }
  return found;
}

bool asksFor(const std::vector<std::string>& arguments, std::initializer_list<const char*> names) {
  for (const std::string& argument : arguments) {
    if (argument == "--") return false;
    for (const char* name : names) {
      if (argument == name) return true;
    }
  }
  return false;
}

// CLI11's own texts name options in its words; these keep the tool's.
[[noreturn]] void rethrowInOurWords(const CLI::ParseError& error) {
  std::string what = error.what();
  if (what.find("disallowed flag override") != what.npos) {
    throw UsageError("--" + what.substr(0, what.find(' ')) + " takes no value");
  }
  if (size_t colon = what.find(':'); colon != what.npos && what.rfind("--", 0) == 0) {
    throw UsageError(what.substr(0, colon) + " needs a value");
  }
  throw UsageError(what);
}

}  // namespace

FeedOptions parseArguments(const std::vector<std::string>& arguments) {
  FeedOptions options;
  if (asksFor(arguments, {"--help", "-h"})) {
    options.action = Action::Help;
    return options;
  }
  if (asksFor(arguments, {"--version"})) {
    options.action = Action::Version;
    return options;
  }
  std::vector<std::string> actions = actionsGiven(arguments);
  for (size_t i = 1; i < actions.size(); ++i) {
    if (actions[i] != actions[0]) {
      throw UsageError("choose one of --locales, --install, --release and --list-devices (" +
                       actions[i] + " came after another)");
    }
  }

  CLI::App app;
  app.set_help_flag();
  app.allow_extras();
  std::string chunkMs, rate, channels, flushEvery, format, readyTimeout;
  bool locales = false, listDevices = false, json = false;
  std::string install, release;
  auto last = CLI::MultiOptionPolicy::TakeLast;
  app.add_option("--locale", options.locale)->multi_option_policy(last);
  app.add_option("--chunk-ms", chunkMs)->multi_option_policy(last);
  app.add_flag("--realtime", options.realtime)->disable_flag_override();
  app.add_flag("--spoken", options.spoken)->disable_flag_override();
  app.add_option("--flush-every", flushEvery)->multi_option_policy(last);
  app.add_option("--format", format)->multi_option_policy(last);
  app.add_flag("--json", json)->disable_flag_override();
  app.add_option("--output", options.output)->multi_option_policy(last);
  app.add_option("--output-dir", options.outputDir)->multi_option_policy(last);
  app.add_option("--vocabulary", options.vocabulary)->allow_extra_args(false);
  app.add_option("--vocabulary-file", options.vocabularyFile)->multi_option_policy(last);
  app.add_option("--earshot", options.earshotPath)->multi_option_policy(last);
  app.add_option("--ready-timeout", readyTimeout)->multi_option_policy(last);
  app.add_option("--rate", rate)->multi_option_policy(last);
  app.add_option("--channels", channels)->multi_option_policy(last);
  app.add_flag("--mic", options.mic)->disable_flag_override();
  app.add_option("--device", options.device)->multi_option_policy(last);
  app.add_flag("--list-devices", listDevices)->disable_flag_override();
  app.add_flag("--locales", locales)->disable_flag_override();
  app.add_option("--install", install)->multi_option_policy(last);
  app.add_option("--release", release)->multi_option_policy(last);
  app.add_option("inputs", options.inputs);

  // CLI11 takes its arguments last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    rethrowInOurWords(error);
  }
  for (const std::string& extra : app.remaining()) {
    if (extra != "--") throw UsageError("unknown option " + extra);
  }

  if (app.count("--chunk-ms")) options.chunkMs = parseWhole("--chunk-ms", chunkMs, 1, 10000);
  if (app.count("--flush-every"))
    options.flushEverySeconds = parseSeconds("--flush-every", flushEvery);
  if (app.count("--ready-timeout")) {
    options.readyTimeoutSeconds = parseSeconds("--ready-timeout", readyTimeout);
  }
  if (app.count("--rate")) options.rawRate = parseRate("--rate", rate);
  if (app.count("--channels")) options.channels = parseWhole("--channels", channels, 1, 32);
  if (app.count("--format")) options.format = parseFormat(format);
  if (json) {
    if (app.count("--format") && options.format != Format::Json) {
      throw UsageError("--json is --format json: give only one of them");
    }
    options.format = Format::Json;
  }

  if (!actions.empty()) {
    const std::string& action = actions.front();
    options.action = action == "--locales"   ? Action::Locales
                     : action == "--install" ? Action::Install
                     : action == "--release" ? Action::Release
                                             : Action::ListDevices;
    options.assetLocale = action == "--install" ? install : release;
    if (!options.inputs.empty() || options.mic) {
      throw UsageError("an audio input makes no sense with this action");
    }
    return options;
  }

  if (options.mic && !options.inputs.empty()) {
    throw UsageError("--mic records the microphone: give no input files as well");
  }
  if (!options.mic && options.inputs.empty()) {
    throw UsageError("no input: give audio files, - for standard input, or --mic");
  }
  if (!options.device.empty() && !options.mic) throw UsageError("--device goes with --mic");
  if (options.mic && options.rawRate) throw UsageError("--rate describes files, not --mic");
  if (std::count(options.inputs.begin(), options.inputs.end(), "-") > 1) {
    throw UsageError("standard input can be read only once");
  }
  if (app.count("--channels") && !options.rawRate) {
    throw UsageError("--channels describes raw PCM: give its --rate as well");
  }
  if (!options.output.empty() && !options.outputDir.empty()) {
    throw UsageError("choose one of --output and --output-dir");
  }
  bool captions = options.format == Format::Srt || options.format == Format::Vtt;
  if (captions && options.inputs.size() > 1 && options.outputDir.empty()) {
    throw UsageError("captions of several inputs go to one file each: give --output-dir");
  }
  if (!options.outputDir.empty() && options.mic) {
    throw UsageError("--output-dir writes one file per input file: use --output with --mic");
  }
  return options;
}

std::string_view formatExtension(Format format) {
  switch (format) {
    case Format::Json:
      return ".jsonl";
    case Format::Srt:
      return ".srt";
    case Format::Vtt:
      return ".vtt";
    case Format::Words:
      return ".words.jsonl";
    default:
      return ".txt";
  }
}

std::string usageText(std::string_view program) {
  std::string name(program);
  return "Usage: " + name + " [options] FILE...\n" + "       " + name +
         " [options] --rate RATE [--channels N] FILE...|-\n" + "       " + name +
         " [options] --mic [--device NAME]\n" + "       " + name +
         " --locales | --install LOCALE | --release LOCALE | --list-devices\n" +
         R"(
Plays the host for earshot: starts it, sends it recordings or the microphone
and prints what it hears. On a terminal the words being heard update in place
and each finished sentence gets its own line; otherwise only finished
sentences are printed. Several files go through one earshot, in order, each
file's text under its name.

Input:
  FILE...              WAV, FLAC, Ogg or MP3, any rate, channels mixed to mono;
                       "-" reads one from standard input
  --rate RATE          the input is raw signed 16-bit little-endian PCM at
                       RATE Hz (fractional allowed)
  --channels N         raw PCM has N interleaved channels (default 1), mixed
  --mic                record from the sound server (PulseAudio or PipeWire)
                       until Ctrl-C
  --device NAME        the source to record (see --list-devices)

Output:
  --format FORMAT      text (default), json (earshot's own lines), srt or vtt
                       (captions from finished sentences), words (one JSON
                       line per word with start, end and confidence)
  --json               the same as --format json
  --output FILE        write there instead of standard output
  --output-dir DIR     one file per input in DIR, named after the input

Recognition:
  --locale LOCALE      language to recognise (default en-US)
  --vocabulary PHRASE  a name or term to expect; may be repeated
  --vocabulary-file F  the same, one phrase per line
  --chunk-ms MS        audio per message, 1-10000 ms (default 100)
  --realtime           send audio no faster than it would play
  --spoken             the recognizer's bare words: lower case, no punctuation,
                       numbers as words (default: text as people write it)
  --flush-every SECS   end the recognition session every SECS seconds of audio
  --earshot PATH       the earshot to run (default: next to this tool, else PATH)
  --ready-timeout SECS give up when earshot has not started within SECS
                       seconds (default 30; a model download waits on)

Speech models and devices:
  --locales            table of supported, installed and reserved locales
  --install LOCALE     download and install the model of LOCALE
  --release LOCALE     give up the reservation of LOCALE
  --list-devices       the sound server's recording sources
  --version            this tool's version
  -h, --help           this text

Exits with 0 when everything was transcribed; 1 when earshot or an input
failed (one line on standard error says which and why); 2 for a command line
this tool cannot run; 130 after Ctrl-C, once the words heard so far are out.
)";
}

}  // namespace earshot::feed
