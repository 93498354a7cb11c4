#include "platform/linux/engine/segmenting_recognizer.h"

#include <algorithm>

#include "platform/linux/engine/quietest_point.h"

namespace earshot::platform::linuxos {

SegmentingRecognizer::SegmentingRecognizer(Decoder& decoder, double sampleRate,
                                           const EngineSettings& settings, Deliver deliver,
                                           AttributeOptions attributes)
    : decoder_(decoder),
      chunkFrames_(
          std::max<size_t>(1, static_cast<size_t>(sampleRate * settings.chunkMilliseconds / 1000))),
      deliver_(std::move(deliver)),
      attributes_(attributes) {
  if (settings.maxSegmentSeconds > 0) {
    const double window = std::min(double(settings.segmentCutWindowMilliseconds) / 1000.0,
                                   double(settings.maxSegmentSeconds) / 2);
    windowSamples_ = std::max<size_t>(chunkFrames_, static_cast<size_t>(sampleRate * window));
    holdFromFrame_ = std::max<uint64_t>(
        1,
        static_cast<uint64_t>((settings.maxSegmentSeconds - window) * decoder.framesPerSecond()));
    // Blocks of 20 ms: shorter than the gap between words, longer than a
    // pitch period.
    blockSamples_ = std::max<size_t>(1, static_cast<size_t>(sampleRate / 50));
  }
}

void SegmentingRecognizer::begin() {
  inSpeech_ = false;
  hadPartial_ = false;
  partial_.clear();
  held_.clear();
  holding_ = false;
  origin_ = decoder_.secondsProcessed();
  decoder_.startUtterance();
}

void SegmentingRecognizer::process(const int16_t* samples, size_t count, std::stop_token stop) {
  for (size_t at = 0; at < count && !stop.stop_requested(); at += chunkFrames_) {
    size_t chunk = std::min(chunkFrames_, count - at);
    if (!holding_) {
      decode(samples + at, chunk);
      holding_ = holdFromFrame_ > 0 && inSpeech_ && decoder_.utteranceFrames() >= holdFromFrame_;
      continue;
    }
    held_.insert(held_.end(), samples + at, samples + at + chunk);
    if (held_.size() >= windowSamples_) cutHeldAudio();
  }
}

void SegmentingRecognizer::decode(const int16_t* samples, size_t count) {
  for (size_t at = 0; at < count; at += chunkFrames_) {
    size_t chunk = std::min(chunkFrames_, count - at);
    decoder_.process(samples + at, chunk);
    bool speech = decoder_.inSpeech();
    if (inSpeech_ && !speech) {
      inSpeech_ = false;
      closeSegment(true);
      continue;
    }
    inSpeech_ = speech;
    std::string text = decoder_.hypothesis();
    if (text != partial_) {
      partial_ = text;
      hadPartial_ = true;
      deliver_(result(std::move(text), false));
    }
  }
}

void SegmentingRecognizer::cutHeldAudio() {
  holding_ = false;
  size_t cut = quietestPoint(held_, blockSamples_);
  decode(held_.data(), cut);
  // A pause inside the held audio may have closed the segment already.
  if (inSpeech_ || hadPartial_) {
    inSpeech_ = false;
    closeSegment(true);
  }
  decode(held_.data() + cut, held_.size() - cut);
  held_.clear();  // keeps its capacity for the next segment
}

void SegmentingRecognizer::finish() {
  if (!held_.empty()) decode(held_.data(), held_.size());
  held_.clear();
  holding_ = false;
  if (decoder_.inUtterance()) closeSegment(false);
}

void SegmentingRecognizer::closeSegment(bool reopen) {
  decoder_.endUtterance();
  std::string text = decoder_.hypothesis();
  if (hadPartial_ || !text.empty()) deliver_(result(std::move(text), true));
  hadPartial_ = false;
  partial_.clear();
  if (reopen) decoder_.startUtterance();
}

TranscriptionResult SegmentingRecognizer::result(std::string text, bool isFinal) {
  TranscriptionResult result{std::move(text), isFinal, std::nullopt, {}};
  const bool confidence = isFinal && attributes_.transcriptionConfidence;
  if (!attributes_.audioTimeRange && !confidence) return result;
  DecodedHypothesis hypothesis = decoder_.detailedHypothesis(confidence);
  const double frameRate = decoder_.framesPerSecond(), origin = origin_;
  // A session's first frame can start a few samples before the session.
  auto seconds = [frameRate, origin](int frame) {
    return std::max(0.0, frame / frameRate - origin);
  };
  for (DecodedWord& word : hypothesis.words) {
    TranscribedWord transcribed{std::move(word.text), std::nullopt, std::nullopt};
    if (attributes_.audioTimeRange) {
      transcribed.audioTimeRange = AudioTimeRange{seconds(word.startFrame), seconds(word.endFrame)};
    }
    if (confidence) transcribed.confidence = word.confidence;
    result.words.push_back(std::move(transcribed));
  }
  if (attributes_.audioTimeRange) {
    // An utterance the engine kept no frames of sits where the audio is.
    double now = decoder_.secondsProcessed() - origin_;
    result.range = hypothesis.hasFrames ? AudioTimeRange{seconds(hypothesis.startFrame),
                                                         seconds(hypothesis.endFrame)}
                                        : AudioTimeRange{now, now};
  }
  return result;
}

}  // namespace earshot::platform::linuxos
