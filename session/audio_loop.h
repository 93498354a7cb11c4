#pragma once

#include "channel/json_message_fwd.h"
#include "mode/mode_context.h"
#include "session/handshake.h"

namespace earshot::session {

// The rest of the live mode after "ready": reads one line at a time (nothing
// ahead), feeds "audio", ends and reopens the session at "flush" (writing
// "flushed" in between when "init" asked for it), and at
// "stop" or end of input ends the last session and writes "stopped". Lines
// after "stop" are never read. Throws the failure that ends the mode; the
// session still owned then is torn down by its destructor.
void runAudioLoop(mode::ModeContext& context, channel::JsonMessageParser& parser, LiveSetup& setup);

}  // namespace earshot::session
