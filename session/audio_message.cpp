#include "session/audio_message.h"

#include "channel/base64.h"
#include "mode/bridge_error.h"
#include "session/pcm_conversion.h"

namespace earshot::session {
namespace {

constexpr double kLowestRate = 8000.0;
constexpr double kHighestRate = 192000.0;

}  // namespace

std::unique_ptr<platform::PcmBuffer> readAudioMessage(const channel::IncomingMessage& message) {
  std::optional<std::string_view> pcm = message.string("pcm");
  if (!pcm) throw mode::BridgeError(kInvalidPcm);

  std::optional<size_t> size = channel::base64DecodedSize(*pcm);
  if (!size) throw mode::BridgeError(kInvalidPcm);
  // Decode straight into the sample storage the input buffer adopts.
  DecodedPcm decoded{std::make_unique_for_overwrite<int16_t[]>((*size + 1) / 2), *size};
  if (!channel::decodeBase64(*pcm, reinterpret_cast<unsigned char*>(decoded.samples.get()))) {
    throw mode::BridgeError(kInvalidPcm);
  }
  if (decoded.byteCount % 2 != 0) throw mode::BridgeError(kInvalidPcm);

  std::optional<double> rate = message.number("sampleRate");
  if (!rate || !(*rate >= kLowestRate && *rate <= kHighestRate))
    throw mode::BridgeError(kInvalidPcm);

  if (decoded.byteCount == 0) return nullptr;
  return makeInputBuffer(std::move(decoded), *rate);
}

}  // namespace earshot::session
