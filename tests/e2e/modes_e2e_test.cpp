// The one-shot modes of the built program against the engine's own models.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace earshot::testkit {
namespace {

TEST(Modes, LocalesListsTheEnginesEnglishAsSupportedAndInstalled) {
  ProcessRun run = runEarshot({"--locales"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  ASSERT_EQ(run.lines.size(), 1u);
  const std::string prefix =
      R"({"type":"locales","available":true,"supported":["en-US"],"installed":["en-US"],)"
      R"("reserved":[],"maxReserved":)";
  EXPECT_EQ(run.lines[0].rfind(prefix, 0), 0u) << run.lines[0];
  EXPECT_EQ(run.lines[0].back(), '}');
}

TEST(Modes, InstallAndReleaseOfTheEnginesOwnModel) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::vector<std::string> lines;
  } cases[] = {
      {{"--install", "en_US"},
       0,
       {R"({"type":"install-progress","locale":"en-US","fraction":1})",
        R"({"type":"install-done","locale":"en-US"})"}},
      {{"--install", "en"},
       0,
       {R"({"type":"install-progress","locale":"en-US","fraction":1})",
        R"({"type":"install-done","locale":"en-US"})"}},
      {{"--release", "en-US"}, 0, {R"({"type":"release-done","locale":"en-US","released":false})"}},
      {{"--install", "en-GB"},
       1,
       {R"({"type":"error","message":"Apple Speech does not support language en-GB."})"}},
      {{"--release", "xx"},
       1,
       {R"({"type":"error","message":"Apple Speech does not support language xx."})"}},
  };
  for (const auto& c : cases) {
    ProcessRun run = runEarshot(c.arguments);
    EXPECT_EQ(run.status, c.status) << c.arguments[0] << " " << c.arguments[1];
    EXPECT_EQ(run.lines, c.lines) << c.arguments[0] << " " << c.arguments[1];
    EXPECT_EQ(run.err, "");
  }
}

TEST(Modes, AnUnsupportedLiveLocaleFailsBeforeAnyAudio) {
  ProcessRun run = runEarshot({}, R"({"type":"init","locale":"en-GB"})"
                                  "\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(
      run.lines,
      std::vector<std::string>{
          R"({"type":"error","message":"Apple Speech does not support language en-GB. Choose a supported language in Audio settings."})"});
}

}  // namespace
}  // namespace earshot::testkit
