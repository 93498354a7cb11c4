#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace earshot::platform {

// A sleep that a stop request cuts short. Implementations: SystemSleeper
// (below, the real clock), ScriptedSleeper (platform/scripted).
class Sleeper {
 public:
  virtual ~Sleeper() = default;
  // Returns after `duration`, or at once when `stop` is (or becomes) requested.
  virtual void sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) = 0;
};

// The real clock.
class SystemSleeper final : public Sleeper {
 public:
  void sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) override {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, duration, [] { return false; });
  }
};

}  // namespace earshot::platform
