#pragma once

#include <memory>

#include "channel/json_message_fwd.h"
#include "platform/pcm_buffer.h"

namespace earshot::session {

// Reads an "audio" message: "pcm" as strict Base64 of an even number of
// bytes, "sampleRate" within the protocol's rate limits. Returns the
// input buffer, or nullptr when "pcm" is empty (nothing to feed). Throws
// BridgeError with text::kInvalidPcm otherwise.
std::unique_ptr<platform::PcmBuffer> readAudioMessage(const channel::IncomingMessage& message);

}  // namespace earshot::session
