#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <optional>

#include "tests/assets/asset_harness.h"

namespace earshot {
namespace {

using namespace std::chrono_literals;
using platform::Locale;
using platform::scripted::FractionStep;
using platform::scripted::ScriptedPlatform;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

const char kProgressDone[] = R"({"type":"install-progress","locale":"en-US","fraction":1})";
const char kDone[] = R"({"type":"install-done","locale":"en-US"})";

std::string progressLine(const char* fraction) {
  return std::string(R"({"type":"install-progress","locale":"en-US","fraction":)") + fraction + "}";
}

// A platform that supports en-US only and runs downloads on its virtual clock.
struct InstallFixture : testing::Test {
  InstallFixture() {
    scripted.speech->supported = {Locale::fromIdentifier("en-US")};
    scripted.assets->clock = scripted.sleeper;
  }
  testkit::AssetRun install() {
    return testkit::runAssetMode({"earshot", "--install", "en_US"}, scripted);
  }
  ScriptedPlatform scripted;
};

const std::vector<std::string> kUpToRequest{"isAvailable", "supportedLocale(en_US)",
                                            "makeTranscriber(en-US)",
                                            "assetInstallationRequest(en-US)"};

TEST_F(InstallFixture, NothingToInstallClosesAtOnceWithoutPolling) {
  scripted.assets->needsInstallation = false;

  testkit::AssetRun run = install();

  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.lines, (std::vector<std::string>{kProgressDone, kDone}));
  EXPECT_EQ(scripted.log->calls(), kUpToRequest);
}

TEST_F(InstallFixture, RequestFailureWritesOnlyThePlatformsError) {
  scripted.assets->requestFailure = "The asset catalog could not be reached.";
  scripted.assets->needsInstallation = true;

  testkit::AssetRun run = install();

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.lines,
            std::vector<std::string>{
                R"({"type":"error","message":"The asset catalog could not be reached."})"});
  EXPECT_EQ(scripted.log->calls(), kUpToRequest);
}

struct DownloadCase {
  const char* name;
  std::vector<FractionStep> fractions;
  std::chrono::milliseconds duration;
  std::optional<std::string> failure;
  std::vector<std::string> lines;
  // Each sleep is one progress interval; the last one is cut short by the
  // stop that follows the download's end.
  size_t sleeps;
  // How many of `lines` were written when the poller was stopped.
  size_t linesBeforeStop;
  friend void PrintTo(const DownloadCase& c, std::ostream* out) { *out << c.name; }
};

class Download : public InstallFixture, public testing::WithParamInterface<DownloadCase> {};

// Samples fall every 300 ms of virtual time. When the download ends inside a
// sleep, the stopped poller's last sample comes before the closing lines:
// the closing line (or the error) is always the last line.
TEST_P(Download, ProgressLinesFollowTheSampledFraction) {
  const DownloadCase& c = GetParam();
  scripted.assets->needsInstallation = true;
  scripted.assets->fractions = c.fractions;
  scripted.assets->downloadDuration = c.duration;
  scripted.assets->downloadFailure = c.failure;

  testkit::AssetRun run = install();

  EXPECT_EQ(run.status, c.failure ? 1 : 0);
  EXPECT_EQ(run.lines, c.lines);
  std::vector<std::string> calls = kUpToRequest;
  calls.insert(calls.end(), {"progress", "downloadAndInstall"});
  EXPECT_EQ(testkit::callsBesidesSleeps(*scripted.log), calls);
  EXPECT_EQ(testkit::sleeps(*scripted.log), std::vector<std::string>(c.sleeps, "sleep(300ms)"));
  // The poller is stopped before the closing lines (or the error) go out.
  EXPECT_EQ(run.linesAtStop,
            std::vector<std::string>(c.lines.begin(), c.lines.begin() + c.linesBeforeStop));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Download,
    testing::Values(
        // The first sample is written even at zero; an unchanged one is not;
        // any change is, however small; 1.0 comes from the poller too.
        DownloadCase{"FractionMovingOverTime",
                     {{0ms, 0.0}, {700ms, 0.5}, {1000ms, 0.5000000000000001}, {1500ms, 1.0}},
                     1500ms,
                     std::nullopt,
                     {progressLine("0"), progressLine("0.5"), progressLine("0.5000000000000001"),
                      kProgressDone, kProgressDone, kDone},
                     5,
                     3},
        // Values as the platform reports them, without clamping.
        DownloadCase{"ValuesOutsideTheUnitRangeAsRead",
                     {{0ms, -0.25}, {400ms, 1.5}},
                     800ms,
                     std::nullopt,
                     {progressLine("-0.25"), progressLine("1.5"), kProgressDone, kDone},
                     3,
                     2},
        // A NaN cannot be written as JSON, so its lines are dropped, but it
        // still counts as a change: the same finite value after it is
        // written again.
        DownloadCase{"NaNDoesNotHideTheNextSample",
                     {{0ms, 0.1}, {400ms, kNaN}, {1000ms, 0.1}},
                     1400ms,
                     std::nullopt,
                     {progressLine("0.1"), progressLine("0.1"), kProgressDone, kDone},
                     5,
                     2},
        DownloadCase{"DownloadEndsInsideTheFirstInterval",
                     {{0ms, 0.0}, {50ms, 0.4}},
                     100ms,
                     std::nullopt,
                     {progressLine("0.4"), kProgressDone, kDone},
                     1,
                     0},
        // The lines already written stay; no closing lines.
        DownloadCase{"DownloadFailsAfterProgress",
                     {{0ms, 0.3}, {400ms, 0.6}},
                     700ms,
                     "The network connection was lost.",
                     {progressLine("0.3"), progressLine("0.6"),
                      R"({"type":"error","message":"The network connection was lost."})"},
                     3,
                     2}),
    [](const testing::TestParamInfo<DownloadCase>& info) { return info.param.name; });

}  // namespace
}  // namespace earshot
