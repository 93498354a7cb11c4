#pragma once

#include <chrono>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>

#include "channel/host_output.h"
#include "channel/outgoing_message.h"
#include "platform/asset_inventory.h"
#include "platform/sleeper.h"

namespace earshot::assets {

// How often the poller samples a download's progress.
inline constexpr std::chrono::milliseconds kProgressInterval{300};

// The "install-progress" line for one fraction, written as read.
channel::OutgoingMessage installProgressLine(const std::string& locale, double fraction);

// Samples `progress` every kProgressInterval and writes a line whenever the
// sample differs from the previous one (the first always does; NaN differs
// from everything). A stop cuts the current sleep short; one more sample is
// taken and then the loop ends. Ends at once when `stop` is already
// requested. Runs on the calling thread.
void pollProgress(const platform::Progress& progress, platform::Sleeper& sleeper,
                  const std::string& locale, channel::HostOutput& output, std::stop_token stop);

// The install mode's progress poller: pollProgress on a thread of its own.
//
// Thread contract: the constructor starts one thread, which shares
// ownership of the progress object and the sleeper, keeps its own copy of
// the locale identifier and writes through `output`, which it does not own.
// The destructor asks the thread to end (it takes one more sample, see
// pollProgress) and joins it: the owner of the output (the install mode)
// keeps the output alive by outliving the poller, and every line the poller
// writes comes before whatever the owner writes after dropping it. The
// thread blocks only in the sleeper and in the output's write.
class ProgressPoller {
 public:
  ProgressPoller(std::shared_ptr<const platform::Progress> progress,
                 std::shared_ptr<platform::Sleeper> sleeper, std::string locale,
                 channel::HostOutput& output);

 private:
  std::jthread thread_;
};

}  // namespace earshot::assets
