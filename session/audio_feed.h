#pragma once

#include <memory>
#include <optional>

#include "platform/analyzer_input_queue.h"
#include "platform/audio_converter.h"
#include "platform/audio_format.h"
#include "platform/pcm_buffer.h"

namespace earshot::session {

// The audio loop's converter state: passes audio in the analyzer's format
// straight through, converts other formats with one converter per run of
// messages in the same format, and drains a converter before it is dropped
// so the frames it kept back still reach the analyzer. Used by the loop's
// thread only.
class AudioFeed {
 public:
  AudioFeed(platform::AudioConverterFactory& converters, platform::AudioFormat analyzerFormat)
      : converters_(converters), analyzerFormat_(analyzerFormat) {}

  // Pushes one input buffer to `queue`, directly (no copy) or converted.
  // Throws "Unsupported input audio format" when no converter can be made,
  // and the failures of conversion and drain.
  void feed(std::unique_ptr<platform::PcmBuffer> buffer, platform::AnalyzerInputQueue& queue);

  // Drains the converter, if there is one, into `queue` and drops it.
  void drain(platform::AnalyzerInputQueue& queue);

 private:
  platform::AudioConverterFactory& converters_;
  platform::AudioFormat analyzerFormat_;
  // Present together or not at all.
  std::unique_ptr<platform::AudioConverter> converter_;
  std::optional<platform::AudioFormat> converterInput_;
};

}  // namespace earshot::session
