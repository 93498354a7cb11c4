#pragma once

#include "platform/sleeper.h"

namespace earshot::platform::linuxos {

// The real clock.
class SystemSleeper final : public Sleeper {
 public:
  void sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) override;
};

}  // namespace earshot::platform::linuxos
