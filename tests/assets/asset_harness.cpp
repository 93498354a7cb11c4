#include "tests/assets/asset_harness.h"

#include <gtest/gtest.h>

#include "app/apple_speech_helper.h"
#include "channel/byte_source.h"
#include "channel/line_reader.h"
#include "tests/support/test_channel.h"

namespace earshot::testkit {
namespace {

// Standard input of a mode that must not read it.
class UnreadableInput final : public channel::ByteSource {
 public:
  size_t readSome(char*, size_t) override {
    ADD_FAILURE() << "the mode read standard input";
    return 0;
  }
};

AssetRun runWith(const std::vector<std::string>& arguments, platform::Platform platform,
                 platform::scripted::ScriptedSleeper* clock) {
  TestChannel channel;
  UnreadableInput unreadable;
  channel::LineReader input(unreadable);
  mode::ModeContext context{platform, input, channel.output()};
  AssetRun run;
  if (clock) clock->onStop([&] { run.linesAtStop = channel.lines(); });
  run.status = app::AppleSpeechHelper::execute(arguments, context);
  if (clock) clock->onStop(nullptr);
  run.lines = channel.lines();
  return run;
}

}  // namespace

AssetRun runAssetMode(const std::vector<std::string>& arguments, platform::Platform platform) {
  return runWith(arguments, std::move(platform), nullptr);
}

AssetRun runAssetMode(const std::vector<std::string>& arguments,
                      const platform::scripted::ScriptedPlatform& scripted) {
  return runWith(arguments, scripted.platform(), scripted.sleeper.get());
}

std::vector<std::string> callsBesidesSleeps(const platform::scripted::CallLog& log) {
  std::vector<std::string> calls;
  for (std::string& call : log.calls()) {
    if (call.rfind("sleep(", 0) != 0) calls.push_back(std::move(call));
  }
  return calls;
}

std::vector<std::string> sleeps(const platform::scripted::CallLog& log) {
  return log.callsStartingWith("sleep(");
}

}  // namespace earshot::testkit
