#include "assets/progress_poller.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace earshot::assets {
namespace {

// Counts the running poller threads. Never destroyed, so that a thread still
// ending while static destructors run finds it intact.
struct RunningPollers {
  std::mutex mutex;
  std::condition_variable ended;
  size_t count = 0;
};

RunningPollers& runningPollers() {
  static RunningPollers* pollers = new RunningPollers;
  return *pollers;
}

}  // namespace

OutgoingMessage installProgressLine(const std::string& locale, double fraction) {
  OutgoingMessage line("install-progress");
  line.add("locale", locale).add("fraction", fraction);
  return line;
}

void pollProgress(const platform::Progress& progress, platform::Sleeper& sleeper,
                  const std::string& locale, HostOutput& output, std::stop_token stop) {
  if (stop.stop_requested()) return;
  double last = -1.0;
  for (;;) {
    sleeper.sleepFor(kProgressInterval, stop);
    double fraction = progress.fractionCompleted();
    // A NaN compares unequal to itself, so it is written every time (the
    // builder then drops it, as JSON has no NaN) and never hides the next
    // finite sample.
    if (fraction != last) output.emit(installProgressLine(locale, fraction));
    last = fraction;
    if (stop.stop_requested()) return;
  }
}

ProgressPoller::ProgressPoller(std::shared_ptr<const platform::Progress> progress,
                               std::shared_ptr<platform::Sleeper> sleeper, std::string locale,
                               HostOutput& output) {
  RunningPollers& pollers = runningPollers();
  {
    std::lock_guard lock(pollers.mutex);
    ++pollers.count;
  }
  auto finished = [counter = &pollers] {
    std::lock_guard lock(counter->mutex);
    --counter->count;
    counter->ended.notify_all();
  };
  try {
    std::thread([progress = std::move(progress), sleeper = std::move(sleeper),
                 locale = std::move(locale), out = &output, stop = stop_.get_token(),
                 finished]() mutable {
      try {
        pollProgress(*progress, *sleeper, locale, *out, stop);
      } catch (...) {
        // Nobody is left to report to; the download goes on without progress.
      }
      // Let go of the shared objects before counting this thread as ended.
      progress.reset();
      sleeper.reset();
      finished();
    }).detach();
  } catch (...) {
    finished();
    throw;
  }
}

bool ProgressPoller::waitForAllToEnd(std::chrono::nanoseconds limit) {
  RunningPollers& pollers = runningPollers();
  std::unique_lock lock(pollers.mutex);
  return pollers.ended.wait_for(lock, limit, [&] { return pollers.count == 0; });
}

}  // namespace earshot::assets
