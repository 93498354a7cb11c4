#include "assets/progress_poller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/system_sleeper.h"
#include "platform/platform_error.h"
#include "platform/sleeper.h"
#include "tests/assets/asset_harness.h"
#include "tests/support/test_channel.h"

namespace earshot {
namespace {

using namespace std::chrono_literals;

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInfinity = std::numeric_limits<double>::infinity();

// Each sleep moves the progress to the next sample; during the sleep before
// the last sample a stop arrives, as when the download ends.
class SampleSleeper final : public platform::Sleeper {
 public:
  SampleSleeper(platform::Progress& progress, std::vector<double> samples, std::stop_source& stop)
      : progress_(progress), samples_(std::move(samples)), stop_(stop) {}

  void sleepFor(std::chrono::nanoseconds duration, std::stop_token) override {
    durations.push_back(duration);
    if (next_ < samples_.size()) progress_.setFractionCompleted(samples_[next_++]);
    if (next_ == samples_.size()) stop_.request_stop();
  }

  std::vector<std::chrono::nanoseconds> durations;

 private:
  platform::Progress& progress_;
  std::vector<double> samples_;
  size_t next_ = 0;
  std::stop_source& stop_;
};

struct SampleCase {
  const char* name;
  std::vector<double> samples;
  std::vector<const char*> written;
  friend void PrintTo(const SampleCase& c, std::ostream* out) { *out << c.name; }
};

class Poller : public testing::TestWithParam<SampleCase> {};

TEST_P(Poller, WritesEverySampleThatDiffersFromThePreviousOne) {
  const SampleCase& c = GetParam();
  platform::Progress progress;
  std::stop_source stop;
  SampleSleeper sleeper(progress, c.samples, stop);
  testkit::TestChannel channel;

  assets::pollProgress(progress, sleeper, "fr-CA", channel.output(), stop.get_token());

  std::vector<std::string> expected;
  for (const char* fraction : c.written) {
    expected.push_back(std::string(R"({"type":"install-progress","locale":"fr-CA","fraction":)") +
                       fraction + "}");
  }
  EXPECT_EQ(channel.lines(), expected);
  // One 300 ms sleep per sample, the last of them cut short by the stop.
  EXPECT_EQ(sleeper.durations, std::vector<std::chrono::nanoseconds>(c.samples.size(), 300ms));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Poller,
    testing::Values(
        // The sample taken after a stop is still written.
        SampleCase{"StoppedDuringTheFirstSleep", {0.0}, {"0"}},
        SampleCase{"UnchangedWrittenOnce", {0.25, 0.25, 0.25, 0.75, 0.75}, {"0.25", "0.75"}},
        SampleCase{"AnyChangeAsRead",
                   {0.5, 0.5000000000000001, 0.4, 1.25, -0.5},
                   {"0.5", "0.5000000000000001", "0.4", "1.25", "-0.5"}},
        // Values that JSON cannot hold are dropped, yet they count as changes.
        SampleCase{"NaNAndInfinityDroppedButNeverHideTheNext",
                   {0.1, kNaN, kNaN, 0.1, kInfinity, 0.1},
                   {"0.1", "0.1", "0.1"}}),
    [](const testing::TestParamInfo<SampleCase>& info) { return info.param.name; });

TEST(Poller, AlreadyStoppedEndsWithoutSleepingOrWriting) {
  platform::Progress progress;
  std::stop_source stop;
  SampleSleeper sleeper(progress, {0.5}, stop);
  testkit::TestChannel channel;
  stop.request_stop();

  assets::pollProgress(progress, sleeper, "fr-CA", channel.output(), stop.get_token());

  EXPECT_TRUE(channel.lines().empty());
  EXPECT_TRUE(sleeper.durations.empty());
}

// A download that takes one second of real time while its fraction climbs.
class RealTimeRequest final : public platform::AssetInstallationRequest {
 public:
  std::shared_ptr<platform::Progress> progress() override { return progress_; }
  void downloadAndInstall() override {
    for (int step = 1; step <= 50; ++step) {
      std::this_thread::sleep_for(20ms);
      progress_->setFractionCompleted(step / 50.0);
    }
  }

 private:
  std::shared_ptr<platform::Progress> progress_ = std::make_shared<platform::Progress>();
};

class RealTimeInventory final : public platform::AssetInventory {
 public:
  std::vector<platform::Locale> reservedLocales() override { return {}; }
  int64_t maximumReservedLocales() override { return 0; }
  std::unique_ptr<platform::AssetInstallationRequest> assetInstallationRequest(
      const platform::ModuleList&) override {
    return std::make_unique<RealTimeRequest>();
  }
  bool release(const platform::Locale&) override { return false; }
};

// The one test on the real clock: a 1 s download sampled every 300 ms gives
// a few poller lines, not none and not a flood. Bounds are loose on purpose.
TEST(Poller, RealClockSamplesAFewTimesPerSecond) {
  platform::scripted::ScriptedPlatform scripted;
  scripted.speech->supported = {platform::Locale::fromIdentifier("en-US")};
  platform::Platform real = scripted.platform();
  real.assets = std::make_shared<RealTimeInventory>();
  real.sleeper = std::make_shared<platform::linuxos::SystemSleeper>();

  testkit::AssetRun run = testkit::runAssetMode({"earshot", "--install", "en-US"}, real);

  EXPECT_EQ(run.status, 0);
  size_t progressLines = 0, doneLines = 0;
  for (const std::string& line : run.lines) {
    if (line.starts_with(R"({"type":"install-progress","locale":"en-US","fraction":)")) {
      ++progressLines;
    } else if (line == R"({"type":"install-done","locale":"en-US"})") {
      ++doneLines;
    } else {
      ADD_FAILURE() << "unexpected line " << line;
    }
  }
  EXPECT_EQ(doneLines, 1u);
  size_t pollerLines = progressLines - 1;  // one is the closing line
  EXPECT_GE(pollerLines, 1u);
  EXPECT_LE(pollerLines, 6u);
}

// Sleeps until stopped, then is slow to wake, so the poller's last sample
// is written well after the mode stopped it.
class SlowToWakeSleeper final : public platform::Sleeper {
 public:
  void sleepFor(std::chrono::nanoseconds, std::stop_token stop) override {
    asleep_.test_and_set();
    asleep_.notify_all();
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, 10s, [] { return false; });
    std::this_thread::sleep_for(100ms);
  }
  void awaitAsleep() { asleep_.wait(false); }

 private:
  std::atomic_flag asleep_;
};

// A download that moves its fraction to 0.7 once the poller sleeps, then
// ends at once, or fails.
class InstantRequest final : public platform::AssetInstallationRequest {
 public:
  InstantRequest(SlowToWakeSleeper& sleeper, std::optional<std::string> failure)
      : sleeper_(sleeper), failure_(std::move(failure)) {}
  std::shared_ptr<platform::Progress> progress() override { return progress_; }
  void downloadAndInstall() override {
    sleeper_.awaitAsleep();
    progress_->setFractionCompleted(0.7);
    if (failure_) throw platform::PlatformError(*failure_);
  }

 private:
  SlowToWakeSleeper& sleeper_;
  std::optional<std::string> failure_;
  std::shared_ptr<platform::Progress> progress_ = std::make_shared<platform::Progress>();
};

class InstantInventory final : public platform::AssetInventory {
 public:
  InstantInventory(SlowToWakeSleeper& sleeper, std::optional<std::string> failure)
      : sleeper_(sleeper), failure_(std::move(failure)) {}
  std::vector<platform::Locale> reservedLocales() override { return {}; }
  int64_t maximumReservedLocales() override { return 0; }
  std::unique_ptr<platform::AssetInstallationRequest> assetInstallationRequest(
      const platform::ModuleList&) override {
    return std::make_unique<InstantRequest>(sleeper_, failure_);
  }
  bool release(const platform::Locale&) override { return false; }

 private:
  SlowToWakeSleeper& sleeper_;
  std::optional<std::string> failure_;
};

// The mode waits for the poller's last line before its own: the closing
// line, or the error, is always the last line, however late the poller.
TEST(Poller, LastSampleOfASlowPollerComesBeforeTheClosingLine) {
  const std::string kProgress = R"({"type":"install-progress","locale":"en-US","fraction":0.7})";
  struct Case {
    std::optional<std::string> failure;
    std::vector<std::string> lines;
  };
  for (const Case& c :
       {Case{std::nullopt,
             {kProgress, R"({"type":"install-progress","locale":"en-US","fraction":1})",
              R"({"type":"install-done","locale":"en-US"})"}},
        Case{"The network connection was lost.",
             {kProgress, R"({"type":"error","message":"The network connection was lost."})"}}}) {
    auto sleeper = std::make_shared<SlowToWakeSleeper>();
    platform::scripted::ScriptedPlatform scripted;
    scripted.speech->supported = {platform::Locale::fromIdentifier("en-US")};
    platform::Platform slow = scripted.platform();
    slow.assets = std::make_shared<InstantInventory>(*sleeper, c.failure);
    slow.sleeper = sleeper;

    testkit::AssetRun run = testkit::runAssetMode({"earshot", "--install", "en-US"}, slow);

    EXPECT_EQ(run.status, c.failure ? 1 : 0);
    EXPECT_EQ(run.lines, c.lines);
  }
}

}  // namespace
}  // namespace earshot
