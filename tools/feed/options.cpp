#include "tools/feed/options.h"

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

double parseSeconds(const std::string& option, const std::string& text) {
  char* end = nullptr;
  double value = text.empty() ? 0.0 : std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0.0) {
    throw UsageError(option + " wants a positive number of seconds, not \"" + text + "\"");
  }
  return value;
}

void chooseAction(FeedOptions& options, Action action, const std::string& option) {
  if (options.action != Action::Transcribe && options.action != action) {
    throw UsageError("choose one of --locales, --install and --release (" + option +
                     " came after another)");
  }
  options.action = action;
}

}  // namespace

FeedOptions parseArguments(const std::vector<std::string>& arguments) {
  FeedOptions options;
  std::vector<std::string> inputs;
  bool help = false;
  bool optionsEnded = false;

  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (optionsEnded || argument == "-" || argument.rfind("-", 0) != 0) {
      inputs.push_back(argument);
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
      continue;
    }
    std::optional<std::string> attached;
    if (size_t equals = argument.find('=');
        argument.rfind("--", 0) == 0 && equals != argument.npos) {
      attached = argument.substr(equals + 1);
      argument.resize(equals);
    }
    auto value = [&]() -> std::string {
      if (attached) return *attached;
      if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
      return arguments[++i];
    };
    auto flag = [&] {
      if (attached) throw UsageError(argument + " takes no value");
    };

    if (argument == "--help" || argument == "-h") {
      flag();
      help = true;
    } else if (argument == "--locale") {
      options.locale = value();
    } else if (argument == "--chunk-ms") {
      options.chunkMs = parseWhole(argument, value(), 1, 10000);
    } else if (argument == "--realtime") {
      flag();
      options.realtime = true;
    } else if (argument == "--flush-every") {
      options.flushEverySeconds = parseSeconds(argument, value());
    } else if (argument == "--json") {
      flag();
      options.json = true;
    } else if (argument == "--earshot") {
      options.earshotPath = value();
    } else if (argument == "--rate") {
      options.rawRate = parseWhole(argument, value(), 1, 1000000);
    } else if (argument == "--locales") {
      flag();
      chooseAction(options, Action::Locales, argument);
    } else if (argument == "--install") {
      chooseAction(options, Action::Install, argument);
      options.assetLocale = value();
    } else if (argument == "--release") {
      chooseAction(options, Action::Release, argument);
      options.assetLocale = value();
    } else {
      throw UsageError("unknown option " + argument);
    }
  }

  if (help) {
    options.action = Action::Help;
    return options;
  }
  if (options.action != Action::Transcribe) {
    if (!inputs.empty()) throw UsageError("an audio input makes no sense with this action");
    return options;
  }
  if (inputs.empty()) throw UsageError("no input: give an audio file, or - and --rate");
  if (inputs.size() > 1) throw UsageError("one input at a time, not " + inputs[1] + " as well");
  options.input = inputs.front();
  if (options.input == "-" && !options.rawRate) {
    throw UsageError("standard input is raw 16-bit PCM: say its rate with --rate");
  }
  return options;
}

std::string usageText(std::string_view program) {
  std::string name(program);
  return "Usage: " + name + " [options] FILE\n" + "       " + name +
         " [options] --rate RATE FILE|-\n" + "       " + name +
         " --locales | --install LOCALE | --release LOCALE\n" +
         R"(
Plays the host for earshot: starts it, sends it a recording and prints what it
hears. On a terminal the words being heard update in place and each finished
sentence gets its own line; otherwise only finished sentences are printed.

Input:
  FILE                 WAV, FLAC, Ogg or MP3, any rate, channels mixed to mono
  --rate RATE          the input is raw signed 16-bit little-endian mono at
                       RATE Hz; "-" reads it from standard input, e.g.
                       arecord -f S16_LE -r 16000 -c 1 | earshot-feed --rate 16000 -

Options:
  --locale LOCALE      language to recognise (default en-US)
  --chunk-ms MS        audio per message, 1-10000 ms (default 100)
  --realtime           send audio no faster than it would play
  --flush-every SECS   end the recognition session every SECS seconds of audio
  --json               print earshot's lines unchanged
  --earshot PATH       the earshot to run (default: next to this tool, else PATH)
  -h, --help           this text

Speech models:
  --locales            table of supported, installed and reserved locales
  --install LOCALE     download and install the model of LOCALE
  --release LOCALE     give up the reservation of LOCALE

Exits with earshot's status: 0 when it finished, 1 after an error (its text
goes to standard error); 2 for a command line this tool cannot run.
)";
}

}  // namespace earshot::feed
