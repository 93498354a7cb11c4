#include "session/audio_loop.h"

#include "channel/json_message.h"
#include "channel/outgoing_message.h"
#include "mode/bridge_error.h"
#include "protocol/names.h"
#include "protocol/texts.h"
#include "session/audio_feed.h"
#include "session/audio_message.h"

namespace earshot::session {
namespace {

void throwIfFailed(const FailureBox& failures) {
  if (std::optional<std::string> failure = failures.current()) throw mode::BridgeError(*failure);
}

}  // namespace

void runAudioLoop(mode::ModeContext& context, channel::JsonMessageParser& parser,
                  LiveSetup& setup) {
  AudioFeed feed(*context.platform.converters, setup.analyzerFormat);
  for (;;) {
    std::optional<channel::InputLine> line = context.input.next();
    if (!line) break;
    // A parked result-stream failure wins over whatever the line says.
    throwIfFailed(*setup.failures);
    if (line->overLong) throw mode::BridgeError(protocol::text::kInvalidAudioMessage);
    channel::IncomingMessage message = parser.parse(*line);
    if (!message.isObject()) throw mode::BridgeError(protocol::text::kInvalidAudioMessage);
    std::optional<std::string_view> type = message.string(protocol::member::kType);
    if (type == protocol::type::kStop) break;
    if (type == protocol::type::kFlush) {
      feed.drain(setup.session->input());
      setup.session->end();
      // The old session's transcripts are all written; the new one replaces it.
      if (setup.options.acknowledgeFlush) {
        // Said only when true: a failure parked by the old session's results
        // ends the mode here instead.
        throwIfFailed(*setup.failures);
        context.output.emit(channel::OutgoingMessage(protocol::type::kFlushed));
      }
      setup.session = startSession(*context.platform.speech, context.output, setup.locale,
                                   setup.analyzerFormat, setup.failures, setup.options);
      continue;
    }
    if (type != protocol::type::kAudio) throw mode::BridgeError(protocol::text::kInvalidPcm);
    if (std::unique_ptr<platform::PcmBuffer> buffer = readAudioMessage(message)) {
      feed.feed(std::move(buffer), setup.session->input());
    }
  }
  feed.drain(setup.session->input());
  setup.session->end();
  throwIfFailed(*setup.failures);
  context.output.emit(channel::OutgoingMessage(protocol::type::kStopped));
}

}  // namespace earshot::session
