// earshot-feed: a host for earshot that people run from a shell.
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "tools/feed/audio_input.h"
#include "tools/feed/child_process.h"
#include "tools/feed/host_runs.h"
#include "tools/feed/microphone.h"
#include "tools/feed/options.h"

#ifndef FEED_VERSION
#define FEED_VERSION "unknown"
#endif

namespace {

using namespace earshot::feed;

int wakeFd = -1;
volatile sig_atomic_t interrupts = 0;  // only the handler writes it

// First Ctrl-C: stop sending audio and let earshot finish the session, so
// the last words still arrive. Second: give up at once.
void onInterrupt(int) {
  interrupts = interrupts + 1;
  if (interrupts >= 2) {
    pid_t child = runningChild();
    if (child > 0) ::kill(child, SIGKILL);
    ::_exit(130);
  }
  uint64_t one = 1;
  if (::write(wakeFd, &one, sizeof one) < 0) ::_exit(130);
}

int terminalColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

std::vector<std::string> readPhrases(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw InputError(path + ": cannot read the vocabulary file");
  std::vector<std::string> phrases;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") != line.npos) phrases.push_back(line);
  }
  return phrases;
}

std::unique_ptr<AudioInput> openInput(const FeedOptions& options, const std::string& input) {
  std::unique_ptr<AudioInput> audio;
  if (input == "-") {
    audio = options.rawRate
                ? openRawInput(STDIN_FILENO, *options.rawRate, options.channels, wakeFd, false)
                : openSoundStream(STDIN_FILENO, "standard input");
  } else {
    audio = options.rawRate ? openRawFile(input, *options.rawRate, options.channels)
                            : openSoundFile(input);
  }
  if (audio->sampleRate() < kLowestRate || audio->sampleRate() > kHighestRate) {
    audio = resampled(std::move(audio), 16000);
  }
  return audio;
}

std::string displayName(const std::string& input) {
  return input == "-" ? "standard input" : input;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  FeedOptions options;
  try {
    options = parseArguments(arguments);
  } catch (const UsageError& error) {
    std::cerr << "earshot-feed: " << error.what() << "\nTry earshot-feed --help.\n";
    return 2;
  }
  if (options.action == Action::Help) {
    std::cout << usageText("earshot-feed");
    return 0;
  }
  if (options.action == Action::Version) {
    std::cout << "earshot-feed " << FEED_VERSION << '\n';
    return 0;
  }

  // earshot may go away while we write to it: a failed write says so.
  ::signal(SIGPIPE, SIG_IGN);
  std::ios::sync_with_stdio(false);

  wakeFd = ::eventfd(0, EFD_CLOEXEC);
  bool toTerminal =
      options.output.empty() && options.outputDir.empty() && ::isatty(STDOUT_FILENO) == 1;
  Style style = options.format == Format::Json ? Style::Json
                : toTerminal                   ? Style::Terminal
                                               : Style::Plain;
  RunSettings settings{findEarshot(options.earshotPath),
                       style,
                       style == Style::Terminal ? terminalColumns() : 0,
                       std::cout,
                       std::cerr,
                       wakeFd};
  try {
    if (options.action == Action::ListDevices) {
      std::cout << sourcesTable(listSources());
      return 0;
    }
    if (options.action != Action::Transcribe) return runOneShot(options, settings);

    InitExtras extras;
    extras.wordTimes = options.format == Format::Srt || options.format == Format::Vtt ||
                       options.format == Format::Words;
    extras.confidence = options.format == Format::Words;
    extras.phrases = options.vocabulary;
    extras.spoken = options.spoken;
    if (!options.vocabularyFile.empty()) {
      for (std::string& phrase : readPhrases(options.vocabularyFile)) {
        extras.phrases.push_back(std::move(phrase));
      }
    }

    std::unique_ptr<std::ofstream> sharedFile;
    std::ostream* shared = &std::cout;
    if (!options.output.empty()) {
      sharedFile = std::make_unique<std::ofstream>(options.output, std::ios::binary);
      if (!*sharedFile) throw InputError(options.output + ": cannot be written");
      shared = sharedFile.get();
    }
    if (!options.outputDir.empty()) std::filesystem::create_directories(options.outputDir);

    std::vector<std::unique_ptr<std::ofstream>> files;
    std::vector<RunInput> inputs;
    bool someFailed = false;
    const bool several = options.inputs.size() > 1;
    auto add = [&](std::string name, std::unique_ptr<AudioInput> audio) {
      std::ostream* out = shared;
      if (!options.outputDir.empty()) {
        std::filesystem::path stem = std::filesystem::path(name).stem();
        std::filesystem::path path =
            std::filesystem::path(options.outputDir) /
            ((stem.empty() || name == "standard input" ? "stdin" : stem.string()) +
             std::string(formatExtension(options.format)));
        files.push_back(std::make_unique<std::ofstream>(path, std::ios::binary));
        if (!*files.back()) throw InputError(path.string() + ": cannot be written");
        out = files.back().get();
      }
      bool header = several && options.outputDir.empty() && options.format == Format::Text;
      bool first = inputs.empty();
      std::string label = several && options.outputDir.empty() ? name : "";
      Format format = options.format;
      inputs.push_back({name, std::move(audio), [=, &settings]() -> std::unique_ptr<View> {
                          if (header) *out << (first ? "" : "\n") << "==> " << name << " <==\n";
                          switch (format) {
                            case Format::Srt:
                            case Format::Vtt:
                              return std::make_unique<CaptionView>(*out, settings.err,
                                                                   format == Format::Vtt);
                            case Format::Words:
                              return std::make_unique<WordsView>(*out, settings.err, label);
                            default:
                              return std::make_unique<TranscriptView>(
                                  settings.style, *out, settings.err, settings.columns);
                          }
                        }});
    };
    if (options.mic) {
      add("microphone", openMicrophone(options.device, options.chunkMs, wakeFd));
    }
    for (const std::string& input : options.inputs) {
      try {
        add(displayName(input), openInput(options, input));
      } catch (const InputError& error) {
        std::cerr << "earshot-feed: " << error.what() << '\n';
        someFailed = true;
      }
    }
    if (inputs.empty()) return 1;

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    int status = runTranscription(options, extras, inputs, settings);
    if (interrupts > 0) return 130;
    return status == 0 && someFailed ? 1 : status;
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "earshot-feed: " << error.what() << '\n';
    return 1;
  }
}
