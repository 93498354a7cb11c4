#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "platform/audio_format.h"
#include "platform/pcm_buffer.h"

namespace earshot::platform {

enum class ConverterInputStatus : int { haveData = 0, noDataNow = 1, endOfStream = 2 };
enum class ConverterOutputStatus : int {
  haveData = 0,
  inputRanDry = 1,
  endOfStream = 2,
  error = 3
};

// Called by a converter during one conversion call whenever it wants input.
// Given the number of packets it would like (advisory) and a status to set;
// returns a buffer whose ownership passes to the converter, or nullptr.
using ConverterInputBlock =
    std::function<std::unique_ptr<PcmBuffer>(uint32_t packets, ConverterInputStatus& status)>;

// Converts PCM from one format to another and keeps its state (frames held
// back for resampling) from one call to the next. Implementations: the
// libsoxr converter (platform/linux), the scripted converter (platform/scripted).
class AudioConverter {
 public:
  virtual ~AudioConverter() = default;

  // One conversion call: fills `output` (its frame length is set to the
  // frames produced) and asks `input` for input as often as it wants. On
  // ConverterOutputStatus::error it may leave the failure in `error`.
  virtual ConverterOutputStatus convert(PcmBuffer& output, std::exception_ptr& error,
                                        const ConverterInputBlock& input) = 0;
};

// Implementations: SoxrConverterFactory (platform/linux),
// ScriptedConverterFactory (platform/scripted).
class AudioConverterFactory {
 public:
  virtual ~AudioConverterFactory() = default;
  // A converter between the two formats, or nullptr when the pair is not
  // supported. The caller owns the result.
  virtual std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from,
                                                        const AudioFormat& to) = 0;
};

}  // namespace earshot::platform
