#pragma once

#include <cstdint>
#include <memory>

#include "platform/audio_format.h"

namespace earshot::platform {

// A mono 16-bit PCM buffer: a format, a capacity and the number of valid
// frames. The samples are not initialised on construction, so a decoder can
// write straight into them.
class PcmBuffer {
 public:
  PcmBuffer(const AudioFormat& format, uint32_t frameCapacity)
      : format_(format),
        capacity_(frameCapacity),
        samples_(
            std::make_unique_for_overwrite<int16_t[]>(frameCapacity == 0 ? 1 : frameCapacity)) {}

  // Adopts samples that already hold `frameCapacity` frames (no copy).
  PcmBuffer(const AudioFormat& format, uint32_t frameCapacity, std::unique_ptr<int16_t[]> samples)
      : format_(format), capacity_(frameCapacity), samples_(std::move(samples)) {}

  const AudioFormat& format() const { return format_; }
  uint32_t frameCapacity() const { return capacity_; }
  uint32_t frameLength() const { return length_; }
  void setFrameLength(uint32_t frames) { length_ = frames <= capacity_ ? frames : capacity_; }

  // The rate of the host's audio this buffer was converted from; 0 when it
  // is the host's audio itself or not known. Audio that came at a low rate
  // holds no high frequencies, and the recognizer adapts to it apart.
  double sourceSampleRate() const { return sourceSampleRate_; }
  void setSourceSampleRate(double rate) { sourceSampleRate_ = rate; }

  // Channel 0: `frameCapacity()` samples, the first `frameLength()` valid.
  int16_t* int16ChannelData() { return samples_.get(); }
  const int16_t* int16ChannelData() const { return samples_.get(); }

 private:
  AudioFormat format_;
  uint32_t capacity_;
  uint32_t length_ = 0;
  double sourceSampleRate_ = 0;
  std::unique_ptr<int16_t[]> samples_;
};

}  // namespace earshot::platform
