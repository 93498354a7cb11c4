// Measures recognition on the packaged recordings: word error rate, decode
// speed and the time a segment's final result takes, for the engine alone
// (a bare loop over its C API) and through the platform's analyzer.
//
//   engine_loop [--analyzer] [--whole] [--fresh | --chain] [--partials] [--chunk-ms N]
//               [--early-ms N --early-speech-s S] [--corpus DIR] [--state DIR]
//               [--max-segment-s S --cut-window-ms N] [--no-turnaround] [--whole-dictionary]
//               [--defaults | engine options, e.g. -fwdflat no -bestpath no]
//
// --analyzer  decode through the platform analyzer, 100 ms input buffers
// --whole     bare loop: one utterance per recording, no voice segmentation
// --fresh     bare loop: a new decoder for every recording (a process each)
// --chain     bare loop: a new decoder for every recording that starts with
//             the cepstral mean the one before ended with (a process each,
//             adaptation kept between them); two passes, the second scored
// --partials  bare loop: ask for the hypothesis after every chunk as well
// --early-ms, --early-speech-s  update the cepstral mean every N ms of speech
//             until S seconds of speech were heard (both 0: off)
// --state     analyzer: keep the speaker adaptation in DIR, as the program
//             does in $XDG_STATE_HOME/earshot/adaptation (default: nowhere)
// --max-segment-s, --cut-window-ms  analyzer: close a segment of unbroken
//             speech after S seconds, at the quietest point of its last N ms
//             (both 0: segments end only at pauses)
// --whole-dictionary  analyzer: load the whole dictionary, not only the
//             words of the language model
// --no-turnaround  analyzer: skip the flush turnaround measurement (it
//             waits about as long as the last recording lasts, five times)
// --corpus    the recordings of DIR and its transcription file instead of
//             librivox and goforward (bench/speak-corpus makes such folders)
// --defaults  the program's own engine settings instead of the options given
#include <pocketsphinx.h>
#include <sphinxbase/cmn.h>
#include <sphinxbase/err.h>
#include <sphinxbase/feat.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "engine_corpus.h"
#include "platform/analyzer_input_queue.h"
#include "platform/linux/adaptation/cepstral_mean_files.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/engine/hypothesis_text.h"
#include "platform/linux/linux_platform.h"
#include "platform/linux/models/installed_models.h"

namespace {

using namespace earshot;
using Clock = std::chrono::steady_clock;

// Processor time of the calling thread: steadier than wall time on a busy
// machine.
double threadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Options {
  bool wholeDictionary = false;
  bool analyzer = false, whole = false, fresh = false, chain = false, partials = false,
       defaults = false, noTurnaround = false;
  unsigned chunkMs = 100;
  int earlyMs = -1, earlySpeechS = -1;  // -1: the settings' own
  int maxSegmentS = -1, cutWindowMs = -1;
  std::string corpus, state;
  std::vector<std::string> engine;
};

struct Outcome {
  std::string text;
  double decodeSeconds = 0;
  double decodeCpuSeconds = 0;
  double lastFinalSeconds = 0;  // closing the last utterance
  std::vector<double> finals;   // closing every utterance
  size_t longestResult = 0;     // analyzer: bytes of the longest result text
};

// The bare engine: a decoder and a loop over ps_process_raw.
class BareEngine {
 public:
  BareEngine(const platform::linuxos::SpeechModel& model, const std::vector<std::string>& options) {
    err_set_logfp(nullptr);
    std::vector<std::string> words = {"-hmm",  model.acousticModel.string(),
                                      "-lm",   model.languageModel.string(),
                                      "-dict", model.dictionary.string()};
    words.insert(words.end(), options.begin(), options.end());
    for (auto& word : words) argv_.push_back(word.data());
    auto start = Clock::now();
    config_ = cmd_ln_parse_r(nullptr, ps_args(), int32(argv_.size()), argv_.data(), TRUE);
    decoder_ = config_ ? ps_init(config_) : nullptr;
    initSeconds = secondsSince(start);
    if (!decoder_) {
      std::fprintf(stdout, "engine refused the options\n");
      std::exit(2);
    }
  }
  ~BareEngine() {
    ps_free(decoder_);
    cmd_ln_free_r(config_);
  }

  // The cepstral mean: what a process would keep, and start from.
  std::vector<mfcc_t> mean() {
    cmn_t* cmn = ps_get_feat(decoder_)->cmn_struct;
    std::vector<mfcc_t> values(size_t(cmn->veclen));
    cmn_live_get(cmn, values.data());
    return values;
  }
  void setMean(std::vector<mfcc_t> values) {
    cmn_live_set(ps_get_feat(decoder_)->cmn_struct, values.data());
  }

  // Updates the mean every `everyFrames` frames of speech until `untilFrames`
  // were heard since the decoder was loaded.
  void earlyAdaptation(int everyFrames, int untilFrames) {
    earlyEvery_ = everyFrames;
    earlyUntil_ = untilFrames;
  }

  Outcome decode(const std::vector<int16_t>& samples, size_t chunk, bool whole, bool partials) {
    Outcome outcome;
    auto start = Clock::now();
    double cpuStart = threadSeconds();
    ps_start_utt(decoder_);
    bool inSpeech = false;
    auto closeUtterance = [&](bool reopen) {
      auto end = Clock::now();
      ps_end_utt(decoder_);
      heardBefore_ += ps_get_n_frames(decoder_);
      const char* hyp = ps_get_hyp(decoder_, nullptr);
      outcome.finals.push_back(secondsSince(end));
      std::string text = hyp ? platform::linuxos::hypothesisText(hyp) : "";
      if (!text.empty()) outcome.text += (outcome.text.empty() ? "" : " ") + text;
      if (reopen) ps_start_utt(decoder_);
    };
    for (size_t at = 0; at < samples.size(); at += chunk) {
      ps_process_raw(decoder_, samples.data() + at, std::min(chunk, samples.size() - at), FALSE,
                     FALSE);
      int heard = heardBefore_ + ps_get_n_frames(decoder_);
      if (earlyEvery_ > 0 && heard < earlyUntil_ && heard >= lastEarly_ + earlyEvery_) {
        cmn_live_update(ps_get_feat(decoder_)->cmn_struct);
        lastEarly_ = heard;
      }
      if (whole) continue;
      bool speech = ps_get_in_speech(decoder_);
      if (inSpeech && !speech)
        closeUtterance(true);
      else if (partials)
        ps_get_hyp(decoder_, nullptr);
      inSpeech = speech;
    }
    closeUtterance(false);
    outcome.lastFinalSeconds = outcome.finals.back();
    outcome.decodeSeconds = secondsSince(start);
    outcome.decodeCpuSeconds = threadSeconds() - cpuStart;
    return outcome;
  }

  double initSeconds = 0;

 private:
  std::vector<char*> argv_;
  int earlyEvery_ = 0, earlyUntil_ = 0, heardBefore_ = 0, lastEarly_ = 0;
  cmd_ln_t* config_ = nullptr;
  ps_decoder_t* decoder_ = nullptr;
};

// The platform's analyzer, as a session uses it.
Outcome decodeWithAnalyzer(platform::Platform& platform, const std::vector<int16_t>& samples) {
  using namespace platform;
  Locale locale = *platform.speech->supportedLocale(Locale::fromIdentifier("en-US"));
  auto transcriber =
      platform.speech->makeTranscriber(locale, TranscriberPreset::progressiveTranscription);
  ModuleList modules{transcriber};
  AudioFormat format = *platform.speech->bestAvailableAudioFormat(modules);
  auto analyzer = platform.speech->makeAnalyzer(modules);
  auto queue = std::make_shared<AnalyzerInputQueue>();
  Outcome outcome;
  auto start = Clock::now();
  analyzer->prepareToAnalyze(format);
  analyzer->start(queue);
  const size_t chunk = size_t(format.sampleRate / 10);
  for (size_t at = 0; at < samples.size(); at += chunk) {
    uint32_t n = uint32_t(std::min(chunk, samples.size() - at));
    auto buffer = std::make_unique<PcmBuffer>(format, n);
    std::copy_n(samples.data() + at, n, buffer->int16ChannelData());
    buffer->setFrameLength(n);
    queue->push(std::move(buffer));
  }
  queue->close();
  analyzer->finalizeAndFinishThroughEndOfInput();
  outcome.decodeSeconds = secondsSince(start);
  while (auto result = transcriber->results().next()) {
    outcome.longestResult = std::max(outcome.longestResult, result->text.size());
    if (result->isFinal && !result->text.empty()) {
      outcome.text += (outcome.text.empty() ? "" : " ") + result->text;
    }
  }
  return outcome;
}

// What a flush costs the platform once the analyzer has caught up: ending
// one session and starting the next.
double sessionTurnaround(platform::Platform& platform, const std::vector<int16_t>& samples) {
  using namespace platform;
  Locale locale = *platform.speech->supportedLocale(Locale::fromIdentifier("en-US"));
  auto makeSession = [&] {
    auto transcriber =
        platform.speech->makeTranscriber(locale, TranscriberPreset::progressiveTranscription);
    auto analyzer = platform.speech->makeAnalyzer({transcriber});
    return std::make_pair(transcriber, analyzer);
  };
  AudioFormat format = *platform.speech->bestAvailableAudioFormat({makeSession().first});
  auto [transcriber, analyzer] = makeSession();
  auto queue = std::make_shared<AnalyzerInputQueue>();
  analyzer->prepareToAnalyze(format);
  analyzer->start(queue);
  auto buffer = std::make_unique<PcmBuffer>(format, uint32_t(samples.size()));
  std::copy(samples.begin(), samples.end(), buffer->int16ChannelData());
  buffer->setFrameLength(uint32_t(samples.size()));
  queue->push(std::move(buffer));
  // Long enough for the consumer to take everything, as in live use.
  std::this_thread::sleep_for(std::chrono::seconds(2) +
                              std::chrono::milliseconds(samples.size() / 16));
  auto start = Clock::now();
  queue->close();
  analyzer->finalizeAndFinishThroughEndOfInput();
  auto [nextTranscriber, nextAnalyzer] = makeSession();
  auto nextQueue = std::make_shared<AnalyzerInputQueue>();
  nextAnalyzer->prepareToAnalyze(format);
  nextAnalyzer->start(nextQueue);
  double seconds = secondsSince(start);
  nextQueue->close();
  nextAnalyzer->finalizeAndFinishThroughEndOfInput();
  return seconds;
}

double mean(const std::vector<double>& values) {
  return values.empty() ? 0 : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // progress shows in a log file as it comes
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string word = argv[i];
    if (word == "--analyzer")
      options.analyzer = true;
    else if (word == "--whole")
      options.whole = true;
    else if (word == "--fresh")
      options.fresh = true;
    else if (word == "--chain")
      options.fresh = options.chain = true;
    else if (word == "--early-ms" && i + 1 < argc)
      options.earlyMs = std::atoi(argv[++i]);
    else if (word == "--early-speech-s" && i + 1 < argc)
      options.earlySpeechS = std::atoi(argv[++i]);
    else if (word == "--max-segment-s" && i + 1 < argc)
      options.maxSegmentS = std::atoi(argv[++i]);
    else if (word == "--cut-window-ms" && i + 1 < argc)
      options.cutWindowMs = std::atoi(argv[++i]);
    else if (word == "--no-turnaround")
      options.noTurnaround = true;
    else if (word == "--corpus" && i + 1 < argc)
      options.corpus = argv[++i];
    else if (word == "--state" && i + 1 < argc)
      options.state = argv[++i];
    else if (word == "--partials")
      options.partials = true;
    else if (word == "--whole-dictionary")
      options.wholeDictionary = true;
    else if (word == "--defaults")
      options.defaults = true;
    else if (word == "--chunk-ms" && i + 1 < argc)
      options.chunkMs = unsigned(std::atoi(argv[++i]));
    else
      options.engine.push_back(word);
  }
  auto settings = platform::linuxos::defaultEngineSettings();
  if (options.defaults) {
    options.engine.clear();
    for (auto& [name, value] : settings.options) {
      options.engine.push_back(name);
      options.engine.push_back(value);
    }
    options.chunkMs = settings.chunkMilliseconds;
  }
  if (options.earlyMs >= 0) settings.earlyAdaptationMilliseconds = unsigned(options.earlyMs);
  if (options.earlySpeechS >= 0)
    settings.earlyAdaptationSpeechSeconds = unsigned(options.earlySpeechS);
  if (options.maxSegmentS >= 0) settings.maxSegmentSeconds = unsigned(options.maxSegmentS);
  if (options.cutWindowMs >= 0)
    settings.segmentCutWindowMilliseconds = unsigned(options.cutWindowMs);
  auto model =
      *platform::linuxos::InstalledModels::system().find(platform::Locale::fromIdentifier("en-US"));
  std::vector<bench::Recording> recordings;
  if (options.corpus.empty()) {
    recordings = bench::librivoxRecordings();
    recordings.push_back(bench::goForwardRecording());
  } else {
    recordings = bench::folderRecordings(options.corpus);
  }

  std::string label = options.analyzer ? "analyzer" : "bare";
  for (auto& word : options.engine) label += " " + word;
  std::printf(
      "== %s%s%s%s%s chunk %u ms, early adaptation every %u ms until %u s of speech, segments "
      "of at most %u s cut in their last %u ms\n",
      label.c_str(), options.whole ? " whole" : "", options.fresh ? " fresh" : "",
      options.chain ? " chain" : "", options.partials ? " partials" : "", options.chunkMs,
      settings.earlyAdaptationMilliseconds, settings.earlyAdaptationSpeechSeconds,
      settings.maxSegmentSeconds, settings.segmentCutWindowMilliseconds);

  std::unique_ptr<BareEngine> engine;
  platform::Platform platform;
  double initSeconds = 0;
  auto newEngine = [&] {
    auto made = std::make_unique<BareEngine>(model, options.engine);
    made->earlyAdaptation(int(settings.earlyAdaptationMilliseconds / 10),
                          int(settings.earlyAdaptationSpeechSeconds * 100));
    return made;
  };
  if (options.analyzer) {
    settings.options.clear();
    for (size_t i = 0; i + 1 < options.engine.size(); i += 2) {
      settings.options.emplace_back(options.engine[i], options.engine[i + 1]);
    }
    settings.chunkMilliseconds = options.chunkMs;
    settings.languageModelWordsOnly = !options.wholeDictionary;
    // Without --state, nothing remembered from or for other processes.
    std::shared_ptr<platform::linuxos::CepstralMeanMemory> memory;
    if (!options.state.empty()) {
      memory = std::make_shared<platform::linuxos::CepstralMeanFiles>(options.state);
    }
    platform = platform::linuxos::makeLinuxPlatform(platform::linuxos::InstalledModels::system(),
                                                    settings, memory);
    // The first session loads the decoder; later ones reuse it.
    auto start = Clock::now();
    decodeWithAnalyzer(platform, std::vector<int16_t>(1600, 0));
    initSeconds = secondsSince(start);
  } else {
    engine = newEngine();
    initSeconds = engine->initSeconds;
  }
  std::printf("engine load %.3f s\n", initSeconds);

  size_t totalErrorsLibrivox = 0, totalWordsLibrivox = 0;
  double audio = 0, decode = 0, decodeCpu = 0;
  std::vector<double> lastFinals, allFinals;
  size_t longestResult = 0;
  std::vector<mfcc_t> carried;  // --chain: the mean the last decoder ended with
  for (int pass = options.chain ? 0 : 1; pass < 2; ++pass) {
    for (const auto& recording : recordings) {
      if (options.fresh && !options.analyzer) {
        engine = newEngine();
        if (!carried.empty()) engine->setMean(carried);
      }
      Outcome outcome =
          options.analyzer
              ? decodeWithAnalyzer(platform, recording.samples)
              : engine->decode(recording.samples, size_t(model.sampleRate * options.chunkMs / 1000),
                               options.whole, options.partials);
      if (options.chain) carried = engine->mean();
      if (pass == 0) continue;
      bench::WordErrors errors = bench::wordErrors(recording.reference, outcome.text);
      double seconds = double(recording.samples.size()) / model.sampleRate;
      std::printf("%-40s %5.1fs %2zu/%2zu errors  %s\n", recording.name.c_str(), seconds,
                  errors.errors, errors.reference, outcome.text.c_str());
      if (recording.name != "goforward") {
        totalErrorsLibrivox += errors.errors;
        totalWordsLibrivox += errors.reference;
        audio += seconds;
        decode += outcome.decodeSeconds;
        decodeCpu += outcome.decodeCpuSeconds;
        if (!options.analyzer) lastFinals.push_back(outcome.lastFinalSeconds);
        allFinals.insert(allFinals.end(), outcome.finals.begin(), outcome.finals.end());
        longestResult = std::max(longestResult, outcome.longestResult);
      }
    }
  }
  std::printf("%s WER %.1f%% (%zu/%zu)  audio %.1f s  decode %.3f s (%.3f x real time)\n",
              options.corpus.empty() ? "librivox" : options.corpus.c_str(),
              100.0 * double(totalErrorsLibrivox) / double(totalWordsLibrivox), totalErrorsLibrivox,
              totalWordsLibrivox, audio, decode, decode / audio);
  if (!options.analyzer) std::printf("decode processor time %.3f s\n", decodeCpu);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident memory %.1f MB", double(usage.ru_maxrss) / 1024.0);
  if (options.analyzer) std::printf(", longest result %zu bytes", longestResult);
  std::printf("\n");
  if (options.analyzer && !options.noTurnaround) {
    std::vector<double> turnarounds;
    for (int i = 0; i < 5; ++i) {
      // With --state, a recording long enough to be kept at every flush.
      turnarounds.push_back(sessionTurnaround(
          platform, (options.state.empty() ? recordings.back() : recordings.front()).samples));
    }
    std::sort(turnarounds.begin(), turnarounds.end());
    std::printf("flush turnaround (finalize + next session started): median %.4f s max %.4f s\n",
                turnarounds[2], turnarounds.back());
  } else if (!options.analyzer) {
    std::printf("final at end of input: mean %.4f s max %.4f s; any segment end: max %.4f s\n",
                mean(lastFinals), *std::max_element(lastFinals.begin(), lastFinals.end()),
                *std::max_element(allFinals.begin(), allFinals.end()));
  }
  return 0;
}
