#include <gtest/gtest.h>

#include <optional>

#include "channel/line_reader.h"
#include "tests/session/live_harness.h"

namespace earshot {
namespace {

using platform::AudioFormat;
using platform::CommonFormat;
using platform::Locale;
using testkit::LiveHarness;

const std::string kExpectedInit = "Expected init message";

struct FirstLineCase {
  const char* name;
  std::vector<std::string> input;
  std::string error;
};

TEST(Handshake, OnlyAnInitObjectOpensTheSession) {
  for (const FirstLineCase& c : std::vector<FirstLineCase>{
           {"no input at all", {}, kExpectedInit},
           {"empty line", {""}, testkit::jsonErrorOf("")},
           {"broken JSON", {"{\"type\":"}, testkit::jsonErrorOf("{\"type\":")},
           {"bare number", {"5"}, testkit::jsonErrorOf("5")},
           {"array", {"[]"}, kExpectedInit},
           {"empty object", {"{}"}, kExpectedInit},
           {"type of another kind", {R"({"type":1})"}, kExpectedInit},
           {"other letter case", {R"({"type":"Init"})"}, kExpectedInit},
           {"audio first", {testkit::audioLine({1, 2}, 16000), testkit::initLine()}, kExpectedInit},
           {"stop first", {R"({"type":"stop"})", testkit::initLine()}, kExpectedInit},
           {"over-long init",
            {R"({"type":"init","locale":")" + std::string(channel::LineReader::kMaxLineBytes, 'x') +
             "\"}"},
            kExpectedInit},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    std::vector<LiveHarness::Line> input;
    for (const auto& line : c.input) input.push_back({line, {}});
    LiveHarness::Outcome outcome = LiveHarness::run(scripted, input);
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{testkit::errorLine(c.error)});
    // The first line is the only one looked at; nothing else was asked.
    EXPECT_EQ(outcome.linesRead, c.input.empty() ? 0u : 1u);
    EXPECT_EQ(scripted.log->calls(), std::vector<std::string>{"isAvailable"});
  }
}

struct RequestedLocaleCase {
  std::string init;
  std::string requested;  // what the recognizer is asked for
};

TEST(Handshake, RequestedLocaleIsTheLocaleStringElseTheCurrentLocale) {
  const std::string current = Locale::currentIdentifier();
  for (const RequestedLocaleCase& c : std::vector<RequestedLocaleCase>{
           {R"({"type":"init","locale":"en_US"})", "en_US"},
           {R"({"locale":"en-us","type":"init","other":[1]})", "en-us"},
           {R"({"type":"init","locale":""})", ""},
           {R"({"type":"init"})", current},
           {R"({"type":"init","locale":null})", current},
           {R"({"type":"init","locale":7})", current},
           {R"({"type":"init","locale":["en-US"]})", current},
       }) {
    SCOPED_TRACE(c.init);
    auto scripted = LiveHarness::defaultPlatform();
    // Whatever was asked resolves to en-US, so the run goes on to "ready".
    scripted.speech->resolutions[c.requested] = Locale::fromIdentifier("en-US");
    LiveHarness::Outcome outcome = LiveHarness::run(scripted, {{c.init, {}}});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.lines,
              (std::vector<std::string>{testkit::readyLine("en-US"), testkit::stoppedLine()}));
    EXPECT_EQ(scripted.log->callsStartingWith("supportedLocale"),
              std::vector<std::string>{"supportedLocale(" + c.requested + ")"});
  }
}

struct InitOptionCase {
  std::string member;                // the member's text inside "init", empty for none
  std::optional<std::string> error;  // else "ready" and the run goes on
  bool acknowledgesFlush = false;
};

TEST(Handshake, AcknowledgeFlushIsABooleanOrTheHandshakeFails) {
  const std::string invalid = "Invalid init member acknowledgeFlush: expected true or false";
  for (const InitOptionCase& c : std::vector<InitOptionCase>{
           {"", std::nullopt, false},
           {R"("acknowledgeFlush":true)", std::nullopt, true},
           {R"("acknowledgeFlush":false)", std::nullopt, false},
           {R"("acknowledgeflush":1)", std::nullopt, false},  // another member: ignored
           {R"("acknowledgeFlush":true,"acknowledgeFlush":1)", std::nullopt, true},  // first wins
           {R"("acknowledgeFlush":null)", std::nullopt, false},  // null asks for nothing
           {R"("acknowledgeFlush":1)", invalid},
           {R"("acknowledgeFlush":0)", invalid},
           {R"("acknowledgeFlush":"true")", invalid},
           {R"("acknowledgeFlush":[true])", invalid},
           {R"("acknowledgeFlush":{})", invalid},
       }) {
    SCOPED_TRACE(c.member);
    auto scripted = LiveHarness::defaultPlatform();
    std::string init = R"({"type":"init","locale":"en-US")";
    if (!c.member.empty()) init += "," + c.member;
    init += "}";
    LiveHarness::Outcome outcome =
        LiveHarness::run(scripted, {{init, {}}, {testkit::flushLine(), {}}});
    if (c.error) {
      EXPECT_EQ(outcome.status, 1);
      EXPECT_EQ(outcome.lines, std::vector<std::string>{testkit::errorLine(*c.error)});
      EXPECT_EQ(outcome.linesRead, 1u);
      // Refused before the locale is even looked at.
      EXPECT_EQ(scripted.log->calls(), std::vector<std::string>{"isAvailable"});
      continue;
    }
    std::vector<std::string> expected{testkit::readyLine()};
    if (c.acknowledgesFlush) expected.push_back(testkit::flushedLine());
    expected.push_back(testkit::stoppedLine());
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.lines, expected);
  }
}

TEST(Handshake, ReportsTheResolvedLocaleAndTheAnalyzerRate) {
  auto scripted = LiveHarness::defaultPlatform();
  scripted.speech->resolutions["english_us"] = Locale::fromIdentifier("en_US");
  scripted.speech->format = AudioFormat{CommonFormat::int16, 22050.5, 1, false};
  LiveHarness::Outcome outcome =
      LiveHarness::run(scripted, {{R"({"type":"init","locale":"english_us"})", {}}});
  EXPECT_EQ(outcome.lines, (std::vector<std::string>{testkit::readyLine("en-US", "22050.5"),
                                                     testkit::stoppedLine()}));
}

TEST(Handshake, UnsupportedLocaleEndsTheModeBeforeAnyModelWork) {
  auto scripted = LiveHarness::defaultPlatform();
  LiveHarness::Outcome outcome = LiveHarness::run(scripted, {{testkit::initLine("xx-YY"), {}}});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.lines,
            std::vector<std::string>{testkit::errorLine(
                "Apple Speech does not support language xx-YY. Choose a supported language in "
                "Audio settings.")});
  EXPECT_EQ(scripted.log->calls(),
            (std::vector<std::string>{"isAvailable", "supportedLocale(xx-YY)"}));
}

const std::string kDownloading = R"({"type":"status","phase":"asset-download","message":)"
                                 "\"Downloading Apple speech model for en-US\xE2\x80\xA6\"}";

struct ProvisioningCase {
  const char* name;
  std::vector<std::string> installed;
  bool needsInstallation = false;
  std::optional<std::string> requestFailure;
  std::optional<std::string> downloadFailure;
  bool noFormat = false;
  std::vector<std::string> lines;
  std::vector<std::string> assetCalls;
};

TEST(Handshake, InstallsAMissingModelAfterOneStatusLine) {
  const std::string ready = testkit::readyLine();
  const std::string stopped = testkit::stoppedLine();
  const std::string request = "assetInstallationRequest(en-US)";
  for (const ProvisioningCase& c : std::vector<ProvisioningCase>{
           {"installed", {"fr-FR", "en-US"}, false, {}, {}, false, {ready, stopped}, {}},
           {"installed, spelled otherwise", {"en_US"}, false, {}, {}, false, {ready, stopped}, {}},
           {"missing, downloaded",
            {"en-GB"},
            true,
            {},
            {},
            false,
            {kDownloading, ready, stopped},
            {request, "downloadAndInstall"}},
           {"missing, nothing to download",
            {},
            false,
            {},
            {},
            false,
            {kDownloading, ready, stopped},
            {request}},
           {"request fails",
            {},
            true,
            "Asset service unreachable",
            {},
            false,
            {kDownloading, testkit::errorLine("Asset service unreachable")},
            {request}},
           {"download fails",
            {},
            true,
            {},
            "Download interrupted",
            false,
            {kDownloading, testkit::errorLine("Download interrupted")},
            {request, "downloadAndInstall"}},
           {"installed, no format",
            {"en-US"},
            false,
            {},
            {},
            true,
            {testkit::errorLine("Apple speech model is unavailable for en-US.")},
            {}},
           {"downloaded, no format",
            {},
            true,
            {},
            {},
            true,
            {kDownloading, testkit::errorLine("Apple speech model is unavailable for en-US.")},
            {request, "downloadAndInstall"}},
       }) {
    SCOPED_TRACE(c.name);
    auto scripted = LiveHarness::defaultPlatform();
    scripted.speech->installed.clear();
    for (const auto& id : c.installed) {
      scripted.speech->installed.push_back(Locale::fromIdentifier(id));
    }
    scripted.assets->needsInstallation = c.needsInstallation;
    scripted.assets->requestFailure = c.requestFailure;
    scripted.assets->downloadFailure = c.downloadFailure;
    if (c.noFormat) scripted.speech->format.reset();
    LiveHarness::Outcome outcome = LiveHarness::run(scripted, {{testkit::initLine(), {}}});
    EXPECT_EQ(outcome.lines, c.lines);
    EXPECT_EQ(outcome.status, c.lines.back() == stopped ? 0 : 1);
    EXPECT_EQ(testkit::callsMatching(*scripted.log, {"assetInstallationRequest", "download"}),
              c.assetCalls);
  }
}

TEST(Handshake, CallsThePlatformInOrderAndGivesEachSessionItsOwnTranscriber) {
  auto scripted = LiveHarness::defaultPlatform();
  scripted.speech->installed.clear();
  scripted.assets->needsInstallation = true;
  LiveHarness::Outcome outcome = LiveHarness::run(scripted, {{testkit::initLine("en_US"), {}}});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(scripted.log->calls(), (std::vector<std::string>{
                                       "isAvailable",
                                       "supportedLocale(en_US)",
                                       "makeTranscriber(en-US)",
                                       "installedLocales",
                                       "assetInstallationRequest(en-US)",
                                       "downloadAndInstall",
                                       "bestAvailableAudioFormat(1)",
                                       "makeTranscriber(en-US)",
                                       "makeAnalyzer(1)",
                                       "prepareToAnalyze(16000)",
                                       "start",
                                       "finalize",
                                   }));
}

struct SessionStartCase {
  std::string error;
  platform::scripted::SessionScript script;
  std::vector<std::string> calls;  // from makeAnalyzer on
};

TEST(Handshake, FailureToPrepareOrStartEndsTheModeWithThatError) {
  platform::scripted::SessionScript prepareFails;
  prepareFails.prepareFailure = "Model could not be loaded";
  prepareFails.results = {{"never", true}};
  platform::scripted::SessionScript startFails;
  startFails.startFailure = "Analyzer refused to start";
  // The results thread is running by then and must be let go of.
  startFails.results = {{"never", true}};
  for (const SessionStartCase& c : std::vector<SessionStartCase>{
           {"Model could not be loaded",
            prepareFails,
            {"makeAnalyzer(1)", "prepareToAnalyze(16000)"}},
           {"Analyzer refused to start",
            startFails,
            {"makeAnalyzer(1)", "prepareToAnalyze(16000)", "start"}},
       }) {
    SCOPED_TRACE(c.error);
    auto scripted = LiveHarness::defaultPlatform();
    scripted.speech->sessions.scripts = {c.script};
    LiveHarness::Outcome outcome = LiveHarness::run(
        scripted, {{testkit::initLine(), {}}, {testkit::audioLine({1}, 16000), {}}});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{testkit::errorLine(c.error)});
    EXPECT_EQ(outcome.linesRead, 1u);
    EXPECT_EQ(testkit::callsMatching(*scripted.log, {"makeAnalyzer", "prepare", "start", "final"}),
              c.calls);
  }
}

}  // namespace
}  // namespace earshot
