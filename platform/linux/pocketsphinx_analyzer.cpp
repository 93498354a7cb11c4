#include "platform/linux/pocketsphinx_analyzer.h"

#include "platform/platform_error.h"

namespace earshot::platform::linuxos {
namespace {

// Audio that came at a lower rate holds nothing above half that rate.
constexpr double kWidebandRate = 16000;

}  // namespace

PocketSphinxAnalyzer::PocketSphinxAnalyzer(const ModuleList& modules, InstalledModels models,
                                           EngineSettings settings, DecoderPool& pool,
                                           std::shared_ptr<SpeakerAdaptation> adaptation,
                                           std::shared_ptr<LastLiveLocale> lastLocale)
    : modules_(modules),
      models_(std::move(models)),
      settings_(std::move(settings)),
      pool_(pool),
      adaptation_(std::move(adaptation)),
      lastLocale_(std::move(lastLocale)) {
  if (modules_.size() == 1) {
    transcriber_ = std::dynamic_pointer_cast<LinuxTranscriber>(modules_.front());
  }
}

PocketSphinxAnalyzer::~PocketSphinxAnalyzer() {
  consumer_.request_stop();
  // Wakes a consumer that waits for input.
  if (input_) input_->close();
  if (consumer_.joinable()) consumer_.join();
  endResults();
  recognizer_.reset();
  decoder_.reset();
}

void PocketSphinxAnalyzer::setContext(const AnalysisContext& context) {
  context_ = context;
}

void PocketSphinxAnalyzer::prepareToAnalyze(const AudioFormat& format) {
  if (!transcriber_) {
    throw PlatformError("The speech analyzer takes exactly one transcriber of this platform.");
  }
  const Locale& locale = transcriber_->locale();
  auto model = models_.find(locale);
  if (!model) throw PlatformError("No speech model is installed for " + locale.bcp47() + ".");
  if (format != model->format()) {
    throw PlatformError("The speech model for " + locale.bcp47() + " takes mono 16-bit audio at " +
                        std::to_string(static_cast<long>(model->sampleRate)) + " Hz.");
  }
  format_ = format;
  decoder_ = pool_.acquire(*model, settings_, context_.contextualStrings);
  if (adaptation_) {
    adaptation_->begin(*decoder_, *model, context_.speakerAdaptation, context_.speakerProfile);
  }
  // Only a model that loaded is worth preloading next time.
  if (lastLocale_) lastLocale_->remember(locale);
  if (transcriber_->attributes().textForm == TextForm::written) {
    writtenForm_ =
        std::make_unique<WrittenForm>(locale, casedWordsFor(locale), context_.contextualStrings);
  }
  recognizer_ = std::make_unique<SegmentingRecognizer>(
      *decoder_, model->sampleRate, settings_,
      [results = &transcriber_->queue(), written = writtenForm_.get()](TranscriptionResult result) {
        if (written) written->apply(result);
        results->push(std::move(result));
      },
      transcriber_->attributes());
}

void PocketSphinxAnalyzer::start(std::shared_ptr<AnalyzerInputQueue> input) {
  if (!recognizer_) throw PlatformError("The speech analyzer was not prepared.");
  if (input_) throw PlatformError("The speech analyzer has already started.");
  recognizer_->begin();
  input_ = std::move(input);
  consumer_ = std::jthread([this](std::stop_token stop) { consume(stop); });
}

void PocketSphinxAnalyzer::consume(std::stop_token stop) {
  try {
    while (!stop.stop_requested()) {
      std::optional<AnalyzerInput> buffer = input_->next();
      if (!buffer) break;
      if (stop.stop_requested()) break;
      if (!*buffer) continue;
      const PcmBuffer& audio = **buffer;
      if (audio.format() != format_) {
        throw PlatformError(
            "Audio reached the speech analyzer in a format it was not prepared for.");
      }
      if (adaptation_) {
        double rate = audio.sourceSampleRate() > 0 ? audio.sourceSampleRate() : format_.sampleRate;
        adaptation_->useBand(*decoder_, rate < kWidebandRate);
      }
      recognizer_->process(audio.int16ChannelData(), audio.frameLength(), stop);
    }
  } catch (...) {
    failure_ = std::current_exception();
    transcriber_->queue().close(failure_);
  }
}

void PocketSphinxAnalyzer::finalizeAndFinishThroughEndOfInput() {
  if (consumer_.joinable()) consumer_.join();
  if (finalized_ || !recognizer_ || !input_) {
    endResults();
    return;
  }
  finalized_ = true;
  if (failure_) {
    // The engine's state after a failure is unknown.
    decoder_.discard();
    return;
  }
  try {
    recognizer_->finish();
  } catch (...) {
    transcriber_->queue().close(std::current_exception());
    decoder_.discard();
    return;
  }
  endResults();
  recognizer_.reset();
  if (adaptation_) adaptation_->save(*decoder_);
  decoder_.reset();
}

void PocketSphinxAnalyzer::endResults() {
  if (transcriber_) transcriber_->queue().close();
}

}  // namespace earshot::platform::linuxos
