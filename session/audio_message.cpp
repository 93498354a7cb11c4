#include "session/audio_message.h"

#include "channel/json_message.h"
#include "mode/bridge_error.h"
#include "protocol/base64.h"
#include "protocol/names.h"
#include "protocol/rates.h"
#include "protocol/texts.h"
#include "session/pcm_conversion.h"

namespace earshot::session {
std::unique_ptr<platform::PcmBuffer> readAudioMessage(const channel::IncomingMessage& message) {
  std::optional<std::string_view> pcm = message.string(protocol::member::kPcm);
  if (!pcm) throw mode::BridgeError(protocol::text::kInvalidPcm);

  std::optional<size_t> size = protocol::base64DecodedSize(*pcm);
  if (!size) throw mode::BridgeError(protocol::text::kInvalidPcm);
  // Decode straight into the sample storage the input buffer adopts.
  DecodedPcm decoded{std::make_unique_for_overwrite<int16_t[]>((*size + 1) / 2), *size};
  if (!protocol::decodeBase64(*pcm, reinterpret_cast<unsigned char*>(decoded.samples.get()))) {
    throw mode::BridgeError(protocol::text::kInvalidPcm);
  }
  if (decoded.byteCount % 2 != 0) throw mode::BridgeError(protocol::text::kInvalidPcm);

  std::optional<double> rate = message.number(protocol::member::kSampleRate);
  if (!rate || !protocol::isAcceptedRate(*rate))
    throw mode::BridgeError(protocol::text::kInvalidPcm);

  if (decoded.byteCount == 0) return nullptr;
  return makeInputBuffer(std::move(decoded), *rate);
}

}  // namespace earshot::session
