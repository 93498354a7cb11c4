#include "platform/linux/segmenting_recognizer.h"

#include <algorithm>

namespace earshot::platform::linuxos {

SegmentingRecognizer::SegmentingRecognizer(Decoder& decoder, double sampleRate,
                                           unsigned chunkMilliseconds, Deliver deliver)
    : decoder_(decoder),
      chunkFrames_(std::max<size_t>(1, static_cast<size_t>(sampleRate * chunkMilliseconds / 1000))),
      deliver_(std::move(deliver)) {}

void SegmentingRecognizer::begin() {
  inSpeech_ = false;
  hadPartial_ = false;
  partial_.clear();
  decoder_.startUtterance();
}

void SegmentingRecognizer::process(const int16_t* samples, size_t count, std::stop_token stop) {
  for (size_t at = 0; at < count && !stop.stop_requested(); at += chunkFrames_) {
    decoder_.process(samples + at, std::min(chunkFrames_, count - at));
    bool speech = decoder_.inSpeech();
    if (inSpeech_ && !speech) {
      inSpeech_ = false;
      closeSegment(true);
      continue;
    }
    inSpeech_ = speech;
    std::string text = decoder_.hypothesis();
    if (text != partial_) {
      partial_ = std::move(text);
      hadPartial_ = true;
      deliver_(TranscriptionResult{partial_, false});
    }
  }
}

void SegmentingRecognizer::finish() {
  if (decoder_.inUtterance()) closeSegment(false);
}

void SegmentingRecognizer::closeSegment(bool reopen) {
  decoder_.endUtterance();
  std::string text = decoder_.hypothesis();
  if (hadPartial_ || !text.empty()) deliver_(TranscriptionResult{std::move(text), true});
  hadPartial_ = false;
  partial_.clear();
  if (reopen) decoder_.startUtterance();
}

}  // namespace earshot::platform::linuxos
