#include "platform/linux/system_sleeper.h"

#include <condition_variable>
#include <mutex>

namespace earshot::platform::linuxos {

void SystemSleeper::sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) {
  // Nothing is shared: the lock exists only for the wait, which a stop
  // request ends through the condition.
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_for(lock, stop, duration, [] { return false; });
}

}  // namespace earshot::platform::linuxos
