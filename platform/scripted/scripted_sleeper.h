#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

#include "platform/asset_inventory.h"
#include "platform/scripted/call_log.h"
#include "platform/sleeper.h"
#include "threading/mutex.h"

namespace earshot::platform::scripted {

// From `at` (virtual time after the download was scheduled) on, the
// download's progress reads `fraction`, until the next step. Steps are given
// in time order; before the first one the progress reads 0.
struct FractionStep {
  std::chrono::milliseconds at;
  double fraction;
};

// A sleeper on virtual time, and the clock that scripted downloads run on.
// Sleeping advances the clock at once, so a poller's rounds cost no real
// time; the download's progress follows its script as the clock moves.
//
// The poller sleeps on its own thread while the mode's thread waits in
// awaitDownloadEnd(). A download that ends
// inside a sleep stops the clock at its end, releases the waiting download
// and keeps the sleeper asleep until its stop is requested, as a real sleep
// would be cut short when the mode stops the poller after the download. That
// makes every line order deterministic. Whatever should come but does not
// (a stop, a sleep that moves the clock) is given up on after kRealTimeGuard
// of real time, so a faulty mode fails a test instead of hanging it.
class ScriptedSleeper final : public Sleeper {
 public:
  static constexpr std::chrono::seconds kRealTimeGuard{10};

  explicit ScriptedSleeper(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  void sleepFor(std::chrono::nanoseconds duration, std::stop_token stop) override EXCLUDES(mutex_) {
    log_->record("sleep(" + std::to_string(duration.count() / 1'000'000) + "ms)");
    threading::MutexLock lock(mutex_);
    if (stop.stop_requested()) return;
    std::chrono::nanoseconds target = now_ + duration;
    if (!downloadPending_ || downloadEnd_ > target) {
      advanceTo(target);
      return;
    }
    advanceTo(downloadEnd_);
    downloadPending_ = false;
    changed_.notify_all();
    if (!lock.waitForStop(changed_, stop, kRealTimeGuard)) {
      advanceTo(target);  // nobody stopped us: the sleep ran out
      return;
    }
    // Run here rather than as a stop callback: the sleep's own end could
    // deregister such a callback before the stopping thread got to it.
    std::function<void()> hook = stopHook_;
    lock.unlock();
    if (hook) hook();
  }

  std::chrono::nanoseconds now() const EXCLUDES(mutex_) {
    threading::MutexLock lock(mutex_);
    return now_;
  }

  // Runs a download on this clock from now on: `progress` follows `steps`
  // and the download ends `duration` from now (at once when zero).
  void scheduleDownload(std::shared_ptr<Progress> progress, std::vector<FractionStep> steps,
                        std::chrono::nanoseconds duration) EXCLUDES(mutex_) {
    threading::MutexLock lock(mutex_);
    progress_ = std::move(progress);
    steps_ = std::move(steps);
    origin_ = now_;
    downloadEnd_ = now_ + duration;
    downloadPending_ = duration > std::chrono::nanoseconds::zero();
    applySteps();
  }

  // Called when a stop ends the sleep in which a download ended, on the
  // sleeping thread before the sleep returns; the stopping thread is then
  // waiting for the poller to end. Lets a test see what the mode had done by
  // the time it stopped the poller.
  void onStop(std::function<void()> hook) EXCLUDES(mutex_) {
    threading::MutexLock lock(mutex_);
    stopHook_ = std::move(hook);
  }

  // Blocks until the clock reaches the scheduled end of the download;
  // false when it did not within kRealTimeGuard.
  bool awaitDownloadEnd() EXCLUDES(mutex_) {
    threading::MutexLock lock(mutex_);
    const auto deadline = std::chrono::steady_clock::now() + kRealTimeGuard;
    while (downloadPending_) {
      if (lock.waitUntil(changed_, deadline) == std::cv_status::timeout) return !downloadPending_;
    }
    return true;
  }

 private:
  void advanceTo(std::chrono::nanoseconds time) REQUIRES(mutex_) {
    now_ = time;
    applySteps();
  }

  void applySteps() REQUIRES(mutex_) {
    if (!progress_) return;
    for (const FractionStep& step : steps_) {
      if (origin_ + step.at <= now_) progress_->setFractionCompleted(step.fraction);
    }
  }

  std::shared_ptr<CallLog> log_;
  mutable threading::Mutex mutex_;
  std::condition_variable_any changed_;
  std::chrono::nanoseconds now_ GUARDED_BY(mutex_){0};
  std::shared_ptr<Progress> progress_ GUARDED_BY(mutex_);
  std::vector<FractionStep> steps_ GUARDED_BY(mutex_);
  std::chrono::nanoseconds origin_ GUARDED_BY(mutex_){0};
  std::chrono::nanoseconds downloadEnd_ GUARDED_BY(mutex_){0};
  bool downloadPending_ GUARDED_BY(mutex_) = false;
  std::function<void()> stopHook_ GUARDED_BY(mutex_);
};

}  // namespace earshot::platform::scripted
