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
  const unsigned segment = settings.maxSegmentSeconds;
  unsigned part = attributes.transcriptionConfidence ? settings.confidencePartSeconds : 0;
  if (segment > 0 && part >= segment) part = 0;
  if (segment == 0 && part == 0) return;
  // A bound of `seconds` holds its window's audio from `seconds - window` on.
  auto bound = [&](unsigned seconds, unsigned windowMilliseconds, uint64_t& holdFrom,
                   size_t& windowSamples) {
    if (seconds == 0) return;
    const double window = std::min(double(windowMilliseconds) / 1000.0, double(seconds) / 2);
    windowSamples = std::max<size_t>(chunkFrames_, static_cast<size_t>(sampleRate * window));
    holdFrom = std::max<uint64_t>(
        1, static_cast<uint64_t>((seconds - window) * decoder.framesPerSecond()));
  };
  bound(segment, settings.segmentCutWindowMilliseconds, holdFromFrame_, windowSamples_);
  bound(part, settings.confidencePartWindowMilliseconds, partHoldFromFrame_, partWindowSamples_);
  // Blocks of 20 ms: shorter than the gap between words, longer than a
  // pitch period.
  blockSamples_ = std::max<size_t>(1, static_cast<size_t>(sampleRate / 50));
}

void SegmentingRecognizer::begin() {
  inSpeech_ = false;
  hadPartial_ = false;
  partial_.clear();
  parts_ = Parts{};
  partEndedAt_.reset();
  held_.clear();
  holding_ = false;
  origin_ = decoder_.secondsProcessed();
  lastEnd_ = 0.0;
  decoder_.startUtterance();
}

void SegmentingRecognizer::process(const int16_t* samples, size_t count, std::stop_token stop) {
  for (size_t at = 0; at < count && !stop.stop_requested(); at += chunkFrames_) {
    size_t chunk = std::min(chunkFrames_, count - at);
    if (!holding_) {
      decode(samples + at, chunk);
      holding_ = inSpeech_ && !partEndedAt_ && cutDue();
      continue;
    }
    held_.insert(held_.end(), samples + at, samples + at + chunk);
    if (held_.size() >= (cutEndsSegment_ ? windowSamples_ : partWindowSamples_)) cutHeldAudio();
  }
}

bool SegmentingRecognizer::cutDue() {
  const uint64_t frames = decoder_.utteranceFrames();
  cutEndsSegment_ = holdFromFrame_ > 0 && parts_.frames + frames >= holdFromFrame_;
  return cutEndsSegment_ || (partHoldFromFrame_ > 0 && frames >= partHoldFromFrame_);
}

void SegmentingRecognizer::decode(const int16_t* samples, size_t count) {
  for (size_t at = 0; at < count; at += chunkFrames_) {
    size_t chunk = std::min(chunkFrames_, count - at);
    decoder_.process(samples + at, chunk);
    bool speech = decoder_.inSpeech();
    if (partEndedAt_) {
      // The engine starts each utterance out of speech; the segment goes on
      // if it hears speech again soon after the part.
      if (!speech) {
        if (decoder_.secondsProcessed() - *partEndedAt_ >= kResumeSeconds) {
          inSpeech_ = false;
          closeSegment(true);
        }
        continue;
      }
      partEndedAt_.reset();
    }
    if (inSpeech_ && !speech) {
      inSpeech_ = false;
      closeSegment(true);
      continue;
    }
    inSpeech_ = speech;
    std::string text = joined(decoder_.hypothesis());
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
    if (cutEndsSegment_) {
      inSpeech_ = false;
      closeSegment(true);
    } else {
      closePart();
    }
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
  std::string text = joined(decoder_.hypothesis());
  if (hadPartial_ || !text.empty()) deliver_(result(std::move(text), true));
  hadPartial_ = false;
  partial_.clear();
  parts_ = Parts{};
  partEndedAt_.reset();
  if (reopen) decoder_.startUtterance();
}

void SegmentingRecognizer::closePart() {
  const uint64_t frames = decoder_.utteranceFrames();
  decoder_.endUtterance();
  std::string text = decoder_.hypothesis();
  if (!text.empty()) {
    // Scored now, while the engine still has this part's lattice.
    TranscriptionResult part = result(joined(text), true);
    parts_.text = std::move(part.text);
    parts_.words = std::move(part.words);
    parts_.range = part.range;
  }
  parts_.frames += frames;
  decoder_.startUtterance();
  partEndedAt_ = decoder_.secondsProcessed();
}

std::string SegmentingRecognizer::joined(std::string text) const {
  if (parts_.text.empty()) return text;
  if (text.empty()) return parts_.text;
  return parts_.text + ' ' + text;
}

TranscriptionResult SegmentingRecognizer::result(std::string text, bool isFinal) {
  TranscriptionResult result{std::move(text), isFinal, std::nullopt, {}};
  const bool confidence = isFinal && attributes_.transcriptionConfidence;
  if (!attributes_.audioTimeRange && !confidence) return result;
  DecodedHypothesis hypothesis = decoder_.detailedHypothesis(confidence);
  const double frameRate = decoder_.framesPerSecond(), origin = origin_;
  // Frames are windows that reach a little past the samples they start at,
  // and the engine pads the last ones of an utterance: a frame's time is
  // kept within the audio given so far, and after the last final's or
  // part's end, so that results follow one another as the audio does (a cut
  // in unbroken speech ended one final 40 to 80 ms after the next one
  // started).
  const double now = std::max(0.0, decoder_.secondsProcessed() - origin_);
  const double floor = std::min(lastEnd_, now);
  auto seconds = [frameRate, origin, now, floor](int frame) {
    return std::clamp(frame / frameRate - origin, floor, now);
  };
  result.words = parts_.words;
  if (!confidence) {
    for (TranscribedWord& word : result.words) word.confidence.reset();
  }
  for (DecodedWord& word : hypothesis.words) {
    TranscribedWord transcribed{std::move(word.text), std::nullopt, std::nullopt};
    if (attributes_.audioTimeRange) {
      transcribed.audioTimeRange = AudioTimeRange{seconds(word.startFrame), seconds(word.endFrame)};
    }
    if (confidence) transcribed.confidence = word.confidence;
    result.words.push_back(std::move(transcribed));
  }
  if (attributes_.audioTimeRange) {
    std::optional<AudioTimeRange> range;
    if (hypothesis.hasFrames) {
      range = AudioTimeRange{seconds(hypothesis.startFrame), seconds(hypothesis.endFrame)};
    }
    if (parts_.range) {
      range = AudioTimeRange{parts_.range->start, range ? range->end : parts_.range->end};
    }
    // An utterance the engine kept no frames of sits where the audio is.
    result.range = range.value_or(AudioTimeRange{now, now});
    if (isFinal) lastEnd_ = result.range->end;
  }
  return result;
}

}  // namespace earshot::platform::linuxos
