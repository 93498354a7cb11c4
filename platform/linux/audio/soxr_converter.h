#pragma once

#include <memory>

#include "platform/audio_converter.h"

namespace earshot::platform::linuxos {

// Resampling converters from libsoxr: 16-bit mono in and out, high quality,
// no dither (the same input always gives the same output). Every pair of
// rates a host may send (protocol/rates.h) is supported; any other format gets nullptr.
class SoxrConverterFactory final : public AudioConverterFactory {
 public:
  std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from,
                                                const AudioFormat& to) override;
};

}  // namespace earshot::platform::linuxos
