#pragma once

#include <chrono>
#include <memory>

#include "platform/scripted/call_log.h"
#include "platform/sleeper.h"

namespace earshot::platform::scripted {

// A sleeper on virtual time: sleeping advances the clock at once, so a
// poller's rounds run without real waiting.
class ScriptedSleeper final : public Sleeper {
 public:
  explicit ScriptedSleeper(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  void sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) override {
    log_->record("sleep(" + std::to_string(duration.count() / 1'000'000) + "ms)");
    if (!stop.stop_requested()) now_ += duration;
  }
  std::chrono::nanoseconds now() const { return now_; }

 private:
  std::shared_ptr<CallLog> log_;
  std::chrono::nanoseconds now_{0};
};

}  // namespace earshot::platform::scripted
