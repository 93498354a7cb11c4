// "speakerAdaptation" and "speakerProfile": how they are checked and what
// reaches the platform's analyzer of every session.
#include <gtest/gtest.h>

#include "tests/session/live_harness.h"

namespace earshot {
namespace {

using testkit::initWith;
using testkit::LiveHarness;

const std::string kModeError = R"(speakerAdaptation must be "persistent", "session" or "off")";
const std::string kProfileError =
    R"(speakerProfile must be 1 to 64 characters of A-Z, a-z, 0-9, ".", "_" and "-", )"
    R"(other than "." and "..")";

TEST(SpeakerOptions, ABadValueFailsTheHandshakeWithItsText) {
  const std::string longest(64, 'p');
  struct Case {
    std::string members;
    std::string error;
  } cases[] = {
      {R"("speakerAdaptation":"Off")", kModeError},
      {R"("speakerAdaptation":"")", kModeError},
      {R"("speakerAdaptation":"none")", kModeError},
      {R"("speakerAdaptation":" off")", kModeError},
      {R"("speakerAdaptation":false)", kModeError},
      {R"("speakerAdaptation":0)", kModeError},
      {R"("speakerAdaptation":["off"])", kModeError},
      {R"("speakerProfile":"")", kProfileError},
      {R"("speakerProfile":")" + longest + "p\"", kProfileError},
      {R"("speakerProfile":"a b")", kProfileError},
      {R"("speakerProfile":"a/b")", kProfileError},
      {R"("speakerProfile":"..")", kProfileError},
      {R"("speakerProfile":".")", kProfileError},
      {R"("speakerProfile":"kid@home")", kProfileError},
      {R"("speakerProfile":"caf\u00e9")", kProfileError},
      {R"("speakerProfile":"a\u0000")", kProfileError},
      {R"("speakerProfile":7)", kProfileError},
      {R"("speakerProfile":{"name":"kid"})", kProfileError},
  };
  for (const Case& c : cases) testkit::expectInitRefused(c.members, c.error);
}

TEST(SpeakerOptions, GoodValuesReachEverySessionsAnalyzer) {
  const std::string longest(64, 'p');
  struct Case {
    std::string members;
    std::string context;  // each session's setContext, none when empty
  } cases[] = {
      {R"("speakerAdaptation":null,"speakerProfile":null)", ""},
      {R"("speakerAdaptation":"persistent","speakerProfile":"default")", ""},
      {R"("speakerAdaptation":"session")", "setContext(adaptation=session profile=default)"},
      {R"("speakerAdaptation":"off")", "setContext(adaptation=off profile=default)"},
      {R"("speakerProfile":"Kid_2.home-mic")",
       "setContext(adaptation=persistent profile=Kid_2.home-mic)"},
      {R"("speakerProfile":")" + longest + "\"",
       "setContext(adaptation=persistent profile=" + longest + ")"},
      {R"("speakerProfile":"...")", "setContext(adaptation=persistent profile=...)"},
      {R"("speakerAdaptation":"session","speakerProfile":"podcast","contextualStrings":["earshot"])",
       "setContext(earshot; adaptation=session profile=podcast)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.members);
    auto scripted = LiveHarness::defaultPlatform();
    LiveHarness::Outcome outcome =
        LiveHarness::run(scripted, {{initWith(c.members), {}}, {testkit::flushLine(), {}}});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.lines,
              (std::vector<std::string>{testkit::readyLine(), testkit::stoppedLine()}));
    std::vector<std::string> expected;
    for (int session = 0; session < 2; ++session) {
      if (!c.context.empty()) expected.push_back(c.context);
      expected.push_back("prepareToAnalyze(16000)");
    }
    EXPECT_EQ(testkit::callsMatching(*scripted.log, {"setContext", "prepare"}), expected);
  }
}

}  // namespace
}  // namespace earshot
