#include "session/pcm_conversion.h"

#include <cmath>
#include <limits>

#include "mode/bridge_error.h"
#include "protocol/texts.h"

namespace earshot::session {
namespace {

constexpr double kConversionHeadroom = 512;
constexpr uint32_t kFlushFrames = 4096;
constexpr int kFlushRounds = 64;

[[noreturn]] void fail(const std::exception_ptr& error, const char* otherwise) {
  if (error) std::rethrow_exception(error);
  throw mode::BridgeError(otherwise);
}

}  // namespace

platform::AudioFormat inputFormat(double sampleRate) {
  return platform::AudioFormat{platform::CommonFormat::int16, sampleRate, 1, false};
}

std::unique_ptr<platform::PcmBuffer> makeInputBuffer(DecodedPcm bytes, double sampleRate) {
  auto frames = static_cast<uint32_t>(bytes.byteCount / 2);
  auto buffer = std::make_unique<platform::PcmBuffer>(inputFormat(sampleRate), frames,
                                                      std::move(bytes.samples));
  buffer->setFrameLength(frames);
  return buffer;
}

std::unique_ptr<platform::PcmBuffer> OneShotPCMInput::take(platform::ConverterInputStatus& status) {
  if (buffer_) {
    status = platform::ConverterInputStatus::haveData;
    return std::move(buffer_);
  }
  status = platform::ConverterInputStatus::noDataNow;
  return nullptr;
}

void convertBuffer(std::unique_ptr<platform::PcmBuffer> input, double sampleRate,
                   platform::AudioConverter& converter, const platform::AudioFormat& analyzerFormat,
                   platform::AnalyzerInputQueue& queue) {
  // Multiply first: the rounding must see the exact product.
  double capacity = std::ceil(static_cast<double>(input->frameLength()) *
                              analyzerFormat.sampleRate / sampleRate) +
                    kConversionHeadroom;
  // Only an absurd analyzer rate gets here; a wrapped count would be worse.
  if (!(capacity <= std::numeric_limits<uint32_t>::max())) {
    throw mode::BridgeError(protocol::text::kConversionFailed);
  }
  auto output =
      std::make_unique<platform::PcmBuffer>(analyzerFormat, static_cast<uint32_t>(capacity));
  auto oneShot = std::make_shared<OneShotPCMInput>(std::move(input));
  std::exception_ptr error;
  platform::ConverterOutputStatus status = converter.convert(
      *output, error, [oneShot](uint32_t, platform::ConverterInputStatus& inputStatus) {
        return oneShot->take(inputStatus);
      });
  if (status == platform::ConverterOutputStatus::error)
    fail(error, protocol::text::kConversionFailed);
  if (output->frameLength() > 0) queue.push(std::move(output));
}

void flushConverter(platform::AudioConverter& converter, const platform::AudioFormat& format,
                    platform::AnalyzerInputQueue& queue) {
  const platform::ConverterInputBlock endOfStream =
      [](uint32_t, platform::ConverterInputStatus& status) -> std::unique_ptr<platform::PcmBuffer> {
    status = platform::ConverterInputStatus::endOfStream;
    return nullptr;
  };
  bool lastRoundEmpty = false;
  for (int round = 0; round < kFlushRounds; ++round) {
    auto output = std::make_unique<platform::PcmBuffer>(format, kFlushFrames);
    std::exception_ptr error;
    platform::ConverterOutputStatus status = converter.convert(*output, error, endOfStream);
    if (status == platform::ConverterOutputStatus::error) {
      fail(error, "Audio conversion flush failed");
    }
    bool ended = status == platform::ConverterOutputStatus::endOfStream;
    if (output->frameLength() > 0) {
      queue.push(std::move(output));
      if (ended) return;
      lastRoundEmpty = false;
    } else {
      if (ended) return;
      if (lastRoundEmpty) throw mode::BridgeError(protocol::text::kConverterDidNotFinish);
      lastRoundEmpty = true;
    }
  }
  throw mode::BridgeError(protocol::text::kConverterFlushLimit);
}

}  // namespace earshot::session
