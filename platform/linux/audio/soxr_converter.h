#pragma once

#include <memory>

#include "platform/audio_converter.h"

namespace earshot::platform::linuxos {

// Resampling converters from libsoxr: 16-bit mono in and out, high quality,
// no dither (the same input always gives the same output). Every pair of
// rates from 8 to 192 kHz is supported; any other format gets nullptr.
class SoxrConverterFactory final : public AudioConverterFactory {
 public:
  static constexpr double kLowestRate = 8000.0;
  static constexpr double kHighestRate = 192000.0;

  std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from,
                                                const AudioFormat& to) override;
};

}  // namespace earshot::platform::linuxos
