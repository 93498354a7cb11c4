#include "session/audio_loop.h"

#include "app/channel/bridge_error.h"
#include "app/channel/outgoing_message.h"
#include "session/audio_feed.h"
#include "session/audio_message.h"

namespace earshot::session {
namespace {

void throwIfFailed(const FailureBox& failures) {
  if (std::optional<std::string> failure = failures.current()) throw BridgeError(*failure);
}

}  // namespace

void runAudioLoop(ModeContext& context, JsonMessageParser& parser, LiveSetup& setup) {
  AudioFeed feed(*context.platform.converters, setup.analyzerFormat);
  for (;;) {
    std::optional<InputLine> line = context.input.next();
    if (!line) break;
    // A parked result-stream failure wins over whatever the line says.
    throwIfFailed(*setup.failures);
    if (line->overLong) throw BridgeError("Invalid audio message");
    IncomingMessage message = parser.parse(*line);
    if (!message.isObject()) throw BridgeError("Invalid audio message");
    std::optional<std::string_view> type = message.string("type");
    if (type == "stop") break;
    if (type == "flush") {
      feed.drain(setup.session->input());
      setup.session->end();
      // The old session's transcripts are all written; the new one replaces it.
      setup.session = startSession(*context.platform.speech, context.output, setup.locale,
                                   setup.analyzerFormat, setup.failures);
      continue;
    }
    if (type != "audio") throw BridgeError(kInvalidPcm);
    if (std::unique_ptr<platform::PcmBuffer> buffer = readAudioMessage(message)) {
      feed.feed(std::move(buffer), setup.session->input());
    }
  }
  feed.drain(setup.session->input());
  setup.session->end();
  throwIfFailed(*setup.failures);
  context.output.emit(OutgoingMessage("stopped"));
}

}  // namespace earshot::session
