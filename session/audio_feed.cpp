#include "session/audio_feed.h"

#include "mode/bridge_error.h"
#include "protocol/texts.h"
#include "session/pcm_conversion.h"

namespace earshot::session {

void AudioFeed::feed(std::unique_ptr<platform::PcmBuffer> buffer,
                     platform::AnalyzerInputQueue& queue) {
  const platform::AudioFormat format = buffer->format();
  if (format == analyzerFormat_) {
    drain(queue);  // what the converter kept back goes before this buffer
    queue.push(std::move(buffer));
    return;
  }
  if (!converterInput_ || *converterInput_ != format) {
    drain(queue);
    converter_ = converters_.makeConverter(format, analyzerFormat_);
    if (!converter_) throw mode::BridgeError(protocol::text::kUnsupportedInputFormat);
    converterInput_ = format;
  }
  convertBuffer(std::move(buffer), format.sampleRate, *converter_, analyzerFormat_, queue);
}

void AudioFeed::drain(platform::AnalyzerInputQueue& queue) {
  if (!converter_) return;
  flushConverter(*converter_, analyzerFormat_, queue);
  converter_.reset();
  converterInput_.reset();
}

}  // namespace earshot::session
