#include "tools/feed/options.h"

#include <algorithm>
#include <set>

#include "tools/feed/flags.h"

namespace earshot::feed {
namespace {

bool asksFor(const std::vector<std::string>& arguments, std::string_view name) {
  const Flag* wanted = findFlag(name);
  for (const std::string& argument : arguments) {
    if (argument == "--") return false;
    if (findFlag(argument) == wanted) return true;
  }
  return false;
}

// Checks between flags, once all are applied; `given` holds the names of
// the flags on the line.
void checkTogether(FeedOptions& options, const std::set<std::string_view>& given) {
  if (given.count("--json")) {
    if (given.count("--format") && options.format != Format::Json) {
      throw UsageError("--json is --format json: give only one of them");
    }
    options.format = Format::Json;
  }
  if (options.action != Action::Transcribe) {
    if (!options.inputs.empty() || options.mic) {
      throw UsageError("an audio input makes no sense with this action");
    }
    return;
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
  if (given.count("--channels") && !options.rawRate) {
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
}

}  // namespace

FeedOptions parseArguments(const std::vector<std::string>& arguments) {
  FeedOptions options;
  for (std::string_view first : {"--help", "--version"}) {
    if (asksFor(arguments, first)) {
      findFlag(first)->apply(options, "");
      return options;
    }
  }

  std::set<std::string_view> given;
  bool onlyInputs = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (onlyInputs || argument == "-" || argument.empty() || argument[0] != '-') {
      options.inputs.push_back(argument);
      continue;
    }
    if (argument == "--") {
      onlyInputs = true;
      continue;
    }
    size_t equals = argument.find('=');
    std::string name = argument.substr(0, equals);
    const Flag* flag = findFlag(name);
    if (flag == nullptr) throw UsageError("unknown option " + name);
    std::string value;
    if (flag->valueName.empty()) {
      if (equals != argument.npos) throw UsageError(name + " takes no value");
    } else if (equals != argument.npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      throw UsageError(name + " needs a value");
    }
    Action before = options.action;
    flag->apply(options, value);
    if (before != Action::Transcribe && options.action != before) {
      throw UsageError("choose one of --locales, --install, --release and --list-devices (" +
                       std::string(flag->name) + " came after another)");
    }
    given.insert(flag->name);
  }
  checkTogether(options, given);
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

}  // namespace earshot::feed
