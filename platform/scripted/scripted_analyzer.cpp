#include "platform/scripted/scripted_analyzer.h"

#include "platform/platform_error.h"

namespace earshot::platform::scripted {

std::optional<TranscriptionResult> ScriptedTranscriber::next() {
  std::unique_lock lock(mutex_);
  ready_.wait(lock, [&] { return !pending_.empty() || ended_; });
  if (!pending_.empty()) {
    TranscriptionResult result = std::move(pending_.front());
    pending_.pop_front();
    return result;
  }
  if (failure_) throw PlatformError(*failure_);
  return std::nullopt;
}

void ScriptedTranscriber::deliver(TranscriptionResult result) {
  {
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(result));
  }
  ready_.notify_all();
}

void ScriptedTranscriber::end(std::optional<std::string> failure) {
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
    failure_ = std::move(failure);
  }
  ready_.notify_all();
}

namespace {

// Consumes its input on its own thread, recording each buffer, and delivers
// the session's results when finalized.
class ScriptedAnalyzer final : public SpeechAnalyzer {
 public:
  ScriptedAnalyzer(SessionScript script, std::shared_ptr<ScriptedTranscriber> transcriber,
                   std::shared_ptr<CallLog> log)
      : script_(std::move(script)), transcriber_(std::move(transcriber)), log_(std::move(log)) {}

  ~ScriptedAnalyzer() override {
    if (consumer_.joinable()) consumer_.join();
  }

  void prepareToAnalyze(const AudioFormat& format) override {
    log_->record("prepareToAnalyze(" + std::to_string(static_cast<int64_t>(format.sampleRate)) +
                 ")");
    if (script_.prepareFailure) throw PlatformError(*script_.prepareFailure);
  }

  void start(std::shared_ptr<AnalyzerInputQueue> input) override {
    log_->record("start");
    if (script_.startFailure) throw PlatformError(*script_.startFailure);
    consumer_ = std::thread([this, input] {
      while (auto buffer = input->next()) {
        log_->record("analyze(" + std::to_string((*buffer)->frameLength()) + ")");
      }
    });
  }

  void finalizeAndFinishThroughEndOfInput() override {
    if (consumer_.joinable()) consumer_.join();
    log_->record("finalize");
    if (script_.finalizeFailure) throw PlatformError(*script_.finalizeFailure);
    for (auto& result : script_.results) transcriber_->deliver(result);
    transcriber_->end(script_.resultFailure);
  }

 private:
  SessionScript script_;
  std::shared_ptr<ScriptedTranscriber> transcriber_;
  std::shared_ptr<CallLog> log_;
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
