#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/analyzer_input_queue.h"
#include "platform/audio_converter.h"
#include "platform/audio_format.h"
#include "platform/pcm_buffer.h"

namespace earshot::session {

// The decoded bytes of one audio message, already in the sample storage of
// the buffer they become: little-endian int16 pairs, copied as they came.
struct DecodedPcm {
  std::unique_ptr<int16_t[]> samples;  // room for (byteCount + 1) / 2 samples
  size_t byteCount = 0;
};

// Mono int16 at `sampleRate`, non-interleaved: the format of host audio.
platform::AudioFormat inputFormat(double sampleRate);

// The buffer of one audio message: frame length = capacity = byteCount / 2,
// adopting the decoded storage without a copy. Needs a non-zero even byte
// count and a rate the loop accepted.
std::unique_ptr<platform::PcmBuffer> makeInputBuffer(DecodedPcm bytes, double sampleRate);

// Hands one buffer to a converter on its first request; after that the
// input has paused (never ended), so frames the converter keeps back come
// out with a later call or the drain.
class OneShotPCMInput {
 public:
  explicit OneShotPCMInput(std::unique_ptr<platform::PcmBuffer> buffer)
      : buffer_(std::move(buffer)) {}
  // The buffer with haveData the first time, then nullptr with noDataNow.
  std::unique_ptr<platform::PcmBuffer> take(platform::ConverterInputStatus& status);

 private:
  std::unique_ptr<platform::PcmBuffer> buffer_;
};

// Converts one input buffer with one conversion call and pushes the output,
// if it holds frames, to `queue`. Throws the converter's own error, or
// BridgeError "Audio conversion failed" when it gave none.
void convertBuffer(std::unique_ptr<platform::PcmBuffer> input, double sampleRate,
                   platform::AudioConverter& converter, const platform::AudioFormat& analyzerFormat,
                   platform::AnalyzerInputQueue& queue);

// Drains a converter at the end of its input into `queue`, in rounds of at
// most 4096 frames and at most 64 rounds. Throws the converter's error (or
// "Audio conversion flush failed"), "Audio converter did not finish
// flushing" on a second empty round in a row, "Audio converter exceeded its
// flush limit" after 64 rounds. Output of earlier rounds stays queued.
// `sourceSampleRate`, when known, marks the output as converted from it.
void flushConverter(platform::AudioConverter& converter, const platform::AudioFormat& format,
                    platform::AnalyzerInputQueue& queue, double sourceSampleRate = 0);

}  // namespace earshot::session
