#pragma once

#include <memory>

#include "channel/json_message.h"
#include "platform/pcm_buffer.h"

namespace earshot::session {

// The one text for every way an "audio" message can be malformed.
inline constexpr char kInvalidPcm[] = "Expected mono Int16 PCM with a valid sample rate";

// Reads an "audio" message: "pcm" as strict Base64 of an even number of
// bytes, "sampleRate" between 8000 and 192000 Hz inclusive. Returns the
// input buffer, or nullptr when "pcm" is empty (nothing to feed). Throws
// BridgeError kInvalidPcm otherwise.
std::unique_ptr<platform::PcmBuffer> readAudioMessage(const channel::IncomingMessage& message);

}  // namespace earshot::session
