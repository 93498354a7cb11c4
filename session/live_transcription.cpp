#include "session/live_transcription.h"

#include "app/channel/bridge_error.h"
#include "session/locale_gate.h"

namespace earshot::session {

void runLiveTranscription(ModeContext& context) {
  checkAvailability(*context.platform.speech);
  throw BridgeError("Expected init message");
}

}  // namespace earshot::session
