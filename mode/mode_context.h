#pragma once

#include "channel/host_output.h"
#include "channel/line_reader.h"
#include "platform/platform.h"

namespace earshot::mode {

// What a mode works with: the platform services and the host channel. The
// process entry owns all three for the life of the mode.
struct ModeContext {
  platform::Platform& platform;
  channel::LineReader& input;  // read by the mode's own thread only
  channel::HostOutput& output;
};

}  // namespace earshot::mode
