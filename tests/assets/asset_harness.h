#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/scripted/call_log.h"
#include "platform/scripted/scripted_platform.h"

namespace earshot::testkit {

struct AssetRun {
  int status = -1;
  std::vector<std::string> lines;
  // On the scripted clock: the lines written when the mode stopped a poller
  // that was asleep as its download ended.
  std::optional<std::vector<std::string>> linesAtStop;
};

// Runs the mode that `arguments` choose, as the entry does, with standard
// input that fails the test when read. The mode has stopped its progress
// poller by the time it returns, so the lines are all it will ever write.
AssetRun runAssetMode(const std::vector<std::string>& arguments, platform::Platform platform);
AssetRun runAssetMode(const std::vector<std::string>& arguments,
                      const platform::scripted::ScriptedPlatform& scripted);

// The logged calls without the poller's sleeps (those interleave with the
// mode's own calls in no fixed order), and the sleeps alone.
std::vector<std::string> callsBesidesSleeps(const platform::scripted::CallLog& log);
std::vector<std::string> sleeps(const platform::scripted::CallLog& log);

}  // namespace earshot::testkit
