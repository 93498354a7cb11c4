#include "session/audio_message.h"

#include "app/channel/bridge_error.h"
#include "session/base64.h"
#include "session/pcm_conversion.h"

namespace earshot::session {
namespace {

constexpr double kLowestRate = 8000.0;
constexpr double kHighestRate = 192000.0;

}  // namespace

std::unique_ptr<platform::PcmBuffer> readAudioMessage(const IncomingMessage& message) {
  std::optional<std::string_view> pcm = message.string("pcm");
  if (!pcm) throw BridgeError(kInvalidPcm);

  std::optional<size_t> size = base64DecodedSize(*pcm);
  if (!size) throw BridgeError(kInvalidPcm);
  // Decode straight into the sample storage the input buffer adopts.
  DecodedPcm decoded{std::make_unique_for_overwrite<int16_t[]>((*size + 1) / 2), *size};
  if (!decodeBase64(*pcm, reinterpret_cast<unsigned char*>(decoded.samples.get()))) {
    throw BridgeError(kInvalidPcm);
  }
  if (decoded.byteCount % 2 != 0) throw BridgeError(kInvalidPcm);

  std::optional<double> rate = message.number("sampleRate");
  if (!rate || !(*rate >= kLowestRate && *rate <= kHighestRate)) throw BridgeError(kInvalidPcm);

  if (decoded.byteCount == 0) return nullptr;
  return makeInputBuffer(std::move(decoded), *rate);
}

}  // namespace earshot::session
