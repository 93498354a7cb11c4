#include "session/live_transcription.h"

#include "channel/json_message.h"
#include "session/audio_loop.h"
#include "session/handshake.h"

namespace earshot::session {

void runLiveTranscription(mode::ModeContext& context) {
  channel::JsonMessageParser parser;  // one for the mode: it keeps its memory between lines
  LiveSetup setup = performHandshake(context, parser);
  runAudioLoop(context, parser, setup);
}

}  // namespace earshot::session
