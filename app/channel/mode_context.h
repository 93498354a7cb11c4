#pragma once

#include "app/channel/host_output.h"
#include "app/channel/line_reader.h"
#include "platform/platform.h"

namespace earshot {

// What a mode works with: the platform services and the host channel. The
// process entry owns all three for the life of the mode.
struct ModeContext {
  platform::Platform& platform;
  LineReader& input;  // read by the mode's own thread only
  HostOutput& output;
};

}  // namespace earshot
