#include "tools/feed/transcription_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "tools/feed/audio_input.h"
#include "tools/feed/microphone.h"
#include "tools/feed/output_file.h"
#include "tools/feed/progress_line.h"
#include "tools/feed/transcription_run.h"
#include "tools/feed/vocabulary.h"

namespace earshot::feed {
namespace {

namespace fs = std::filesystem;

std::string displayName(const std::string& input) {
  return input == "-" ? "standard input" : input;
}

std::unique_ptr<AudioInput> openInput(const FeedOptions& options, const std::string& input,
                                      int wakeFd) {
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

// Whether `a` and `b` name one file: the same inode, or (for a file not
// there yet) the same path once resolved.
bool sameFile(const fs::path& a, const fs::path& b) {
  struct stat first {
  }, second{};
  if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0) {
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
  }
  std::error_code error;
  fs::path x = fs::weakly_canonical(a, error), y = fs::weakly_canonical(b, error);
  return x == y;
}

// The target of each input (by index; empty: standard output), checked.
std::vector<fs::path> plannedOutputs(const FeedOptions& options) {
  std::vector<fs::path> targets(std::max<size_t>(options.inputs.size(), 1));
  if (!options.output.empty()) {
    for (fs::path& target : targets) target = options.output;
  } else if (!options.outputDir.empty()) {
    std::error_code error;
    fs::create_directories(options.outputDir, error);
    if (!fs::is_directory(options.outputDir)) {
      throw OutputError(options.outputDir + ": " +
                        (fs::exists(options.outputDir) ? "not a directory"
                                                       : "cannot be made: " + error.message()));
    }
    std::map<fs::path, std::string> taken;
    for (size_t i = 0; i < options.inputs.size(); ++i) {
      targets[i] = fs::path(options.outputDir) / outputNameFor(options.inputs[i], options.format);
      auto [where, fresh] = taken.emplace(targets[i], options.inputs[i]);
      if (!fresh) {
        throw UsageError(displayName(where->second) + " and " + displayName(options.inputs[i]) +
                         " would both be written to " + targets[i].string() +
                         ": give them in separate runs, or rename one");
      }
    }
  }
  for (const fs::path& target : targets) {
    if (target.empty()) continue;
    for (const std::string& input : options.inputs) {
      if (input != "-" && sameFile(target, input)) {
        throw UsageError(target.string() + " is one of the inputs: it would be overwritten");
      }
    }
  }
  return targets;
}

}  // namespace

std::string outputNameFor(const std::string& input, Format format) {
  fs::path stem = fs::path(input).stem();
  std::string name = input == "-" || stem.empty() ? "stdin" : stem.string();
  return name + std::string(formatExtension(format));
}

int runTranscriptionJob(const FeedOptions& options, const RunSettings& given, int errColumns) {
  InitExtras extras;
  extras.wordTimes = options.format == Format::Srt || options.format == Format::Vtt ||
                     options.format == Format::Words;
  extras.confidence = options.format == Format::Words;
  extras.phrases = vocabularyOf(options);
  extras.speakerAdaptation = options.adaptation;
  extras.speakerProfile = options.profile;
  extras.spoken = options.spoken;

  std::vector<fs::path> targets = plannedOutputs(options);

  // The inputs that open, by index; each one that does not is named.
  std::vector<std::pair<size_t, std::unique_ptr<AudioInput>>> opened;
  bool someFailed = false;
  if (options.mic) {
    opened.emplace_back(0, openMicrophone(options.device, options.chunkMs, given.wakeFd));
  }
  for (size_t i = 0; i < options.inputs.size(); ++i) {
    try {
      opened.emplace_back(i, openInput(options, options.inputs[i], given.wakeFd));
    } catch (const InputError& error) {
      given.err << "earshot-feed: " << error.what() << '\n';
      someFailed = true;
    }
  }
  if (opened.empty()) return 1;

  // One file for all of them (--output), or one per input (--output-dir).
  std::map<fs::path, std::unique_ptr<OutputFile>> files;
  for (const auto& [index, audio] : opened) {
    const fs::path& target = targets[index];
    if (!target.empty() && !files.count(target)) {
      files.emplace(target, std::make_unique<OutputFile>(target));
    }
  }

  // Progress needs to know how far earshot has heard: the transcripts'
  // times, asked for here. Lines that go out as earshot wrote them (--json)
  // must not gain members for it, so they get no progress.
  std::unique_ptr<ProgressLine> progress;
  if (errColumns > 0 && !options.quiet && !options.mic && given.style == Style::Plain) {
    progress = std::make_unique<ProgressLine>(given.err, errColumns);
    extras.wordTimes = true;
  }
  RunSettings settings{given.earshot,
                       given.style,
                       given.columns,
                       given.out,
                       progress ? progress->stream() : given.err,
                       given.wakeFd};

  std::vector<RunInput> inputs;
  const bool several = options.inputs.size() > 1;
  for (auto& [index, audio] : opened) {
    std::ostream* out = &settings.out;
    if (!targets[index].empty()) out = &files.at(targets[index])->stream();
    // A file's name goes with its lines; standard input and the microphone
    // have none.
    std::string file = options.mic || options.inputs[index] == "-" ? "" : options.inputs[index];
    std::string name = options.mic ? "microphone" : displayName(options.inputs[index]);
    bool header = several && options.outputDir.empty() && options.format == Format::Text;
    bool first = inputs.empty();
    Format format = options.format;
    inputs.push_back({name, std::move(audio), [=, &settings]() -> std::unique_ptr<View> {
                        if (header) *out << (first ? "" : "\n") << "==> " << name << " <==\n";
                        std::unique_ptr<View> view;
                        switch (format) {
                          case Format::Srt:
                          case Format::Vtt:
                            view = std::make_unique<CaptionView>(*out, settings.err,
                                                                 format == Format::Vtt);
                            break;
                          case Format::Words:
                            view = std::make_unique<WordsView>(*out, settings.err);
                            break;
                          default:
                            view = std::make_unique<TranscriptView>(settings.style, *out,
                                                                    settings.err, settings.columns);
                        }
                        view->setInputName(file);
                        return view;
                      }});
  }

  int status = runTranscription(options, extras, inputs, settings, progress.get());
  progress.reset();
  for (auto& [target, file] : files) file->commit();
  if (files.empty()) checkWritten(settings.out, "standard output");
  return status == 0 && someFailed ? 1 : status;
}

}  // namespace earshot::feed
