#include "platform/scripted/scripted_analyzer.h"

#include <atomic>

#include "platform/platform_error.h"

namespace earshot::platform::scripted {

void ScriptedTranscriber::end(std::optional<std::string> failure) {
  queue_.close(failure ? std::make_exception_ptr(PlatformError(*failure)) : nullptr);
}

namespace {

std::string describe(const PcmBuffer& buffer, const AudioFormat& prepared) {
  std::string text = "analyze(" + std::to_string(buffer.frameLength());
  if (!(buffer.format() == prepared)) {
    text += "@" + std::to_string(static_cast<int64_t>(buffer.format().sampleRate));
  }
  if (buffer.frameLength() <= 8) {
    for (uint32_t i = 0; i < buffer.frameLength(); ++i) {
      text += (i == 0 ? ':' : ',') + std::to_string(buffer.int16ChannelData()[i]);
    }
  }
  return text + ")";
}

class ScriptedAnalyzer final : public SpeechAnalyzer {
 public:
  ScriptedAnalyzer(SessionScript script, std::shared_ptr<ScriptedTranscriber> transcriber,
                   std::shared_ptr<CallLog> log)
      : script_(std::move(script)), transcriber_(std::move(transcriber)), log_(std::move(log)) {}

  ~ScriptedAnalyzer() override {
    stopping_ = true;
    if (input_) input_->close();  // wakes the consumer; it takes nothing more
    if (consumer_.joinable()) consumer_.join();
    transcriber_->end(std::nullopt);
  }

  void setContext(const AnalysisContext& context) override {
    std::string phrases;
    for (const std::string& phrase : context.contextualStrings) {
      phrases += (phrases.empty() ? "" : "|") + phrase;
    }
    // Adaptation shows only when it is not the default.
    if (context.speakerAdaptation != SpeakerAdaptationMode::persistent ||
        context.speakerProfile != kDefaultSpeakerProfile) {
      const char* modes[] = {"persistent", "session", "off"};
      phrases += std::string(phrases.empty() ? "" : "; ") +
                 "adaptation=" + modes[static_cast<int>(context.speakerAdaptation)] +
                 " profile=" + context.speakerProfile;
    }
    log_->record("setContext(" + phrases + ")");
  }

  void prepareToAnalyze(const AudioFormat& format) override {
    log_->record("prepareToAnalyze(" + std::to_string(static_cast<int64_t>(format.sampleRate)) +
                 ")");
    if (script_.prepareFailure) throw PlatformError(*script_.prepareFailure);
    prepared_ = format;
  }

  void start(std::shared_ptr<AnalyzerInputQueue> input) override {
    log_->record("start");
    if (script_.startFailure) throw PlatformError(*script_.startFailure);
    input_ = input;
    if (script_.resultFailure && script_.failAfterResults == 0) {
      transcriber_->end(script_.resultFailure);
    }
    consumer_ = std::thread([this] {
      size_t analyzed = 0;
      while (auto buffer = input_->next()) {
        if (stopping_) return;
        log_->record(describe(**buffer, prepared_));
        if (analyzed < script_.resultsWhileAnalyzing.size()) {
          deliver(script_.resultsWhileAnalyzing[analyzed]);
        }
        ++analyzed;
      }
    });
  }

  void finalizeAndFinishThroughEndOfInput() override {
    if (consumer_.joinable()) consumer_.join();  // returns once the queue is closed
    log_->record("finalize");
    if (script_.finalizeFailure) throw PlatformError(*script_.finalizeFailure);
    for (const auto& result : script_.results) deliver(result);
    transcriber_->end(script_.resultFailure);
  }

 private:
  // Called by the consumer, or by finalize once the consumer has ended.
  void deliver(const TranscriptionResult& result) {
    transcriber_->deliver(result);
    ++delivered_;
    if (script_.resultFailure && script_.failAfterResults == delivered_) {
      transcriber_->end(script_.resultFailure);
    }
  }

  SessionScript script_;
  std::shared_ptr<ScriptedTranscriber> transcriber_;
  std::shared_ptr<CallLog> log_;
  AudioFormat prepared_;
  std::shared_ptr<AnalyzerInputQueue> input_;
  std::atomic<bool> stopping_ = false;
  size_t delivered_ = 0;
  std::thread consumer_;
};

}  // namespace

std::shared_ptr<SpeechAnalyzer> SessionScripts::makeAnalyzer(const ModuleList& modules,
                                                             std::shared_ptr<CallLog> log) {
  SessionScript script = next_ < scripts.size() ? scripts[next_] : SessionScript{};
  ++next_;
  auto transcriber = std::dynamic_pointer_cast<ScriptedTranscriber>(modules.at(0));
  return std::make_shared<ScriptedAnalyzer>(std::move(script), std::move(transcriber),
                                            std::move(log));
}

}  // namespace earshot::platform::scripted
