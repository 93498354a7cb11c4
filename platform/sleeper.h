#pragma once

#include <chrono>
#include <stop_token>

namespace earshot::platform {

// A sleep that a stop request cuts short. Implementations: SystemSleeper
// (platform/linux, the real clock), ScriptedSleeper (platform/scripted).
class Sleeper {
 public:
  virtual ~Sleeper() = default;
  // Returns after `duration`, or at once when `stop` is (or becomes) requested.
  virtual void sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) = 0;
};

}  // namespace earshot::platform
