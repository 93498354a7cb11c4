#pragma once

#include "mode/mode_context.h"

namespace earshot::session {

// The live transcription mode, from the availability check to "stopped".
// Runs on the mode's thread; throws the failure that ends the mode.
void runLiveTranscription(mode::ModeContext& context);

}  // namespace earshot::session
