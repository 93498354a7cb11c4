#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/linux/engine/decoder.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/speech_transcriber.h"

namespace earshot::platform::linuxos {

// Turns a decoder's running hypothesis into results. Audio goes to the
// decoder in chunks; after each chunk a changed hypothesis of the current
// segment is a volatile result (the whole segment so far), and the end of
// speech seen by voice activity detection closes the segment with a final
// result. A segment that had volatile results always closes with a final,
// even an empty one; a silent segment gives nothing.
//
// Speech without a pause would make one segment that grows for ever (the
// engine's memory and every volatile result with it), so a segment is closed
// once it holds `maxSegmentSeconds` of speech: for its last
// `segmentCutWindowMilliseconds` the audio is held back, and the segment ends
// at the quietest point of what was held; the rest opens the next segment.
// Volatile results pause while audio is held.
//
// With confidence, a segment's speech is also decoded in parts of at most
// `confidencePartSeconds`, cut the same way in their last
// `confidencePartWindowMilliseconds`: each part is its own engine
// utterance, scored when it ends, and the segment's results join its parts.
// After a part, the segment goes on when the engine hears speech again, and
// closes if it hears none for `kResumeSeconds`.
//
// With attributes, results carry their words; with the audio time range,
// times in seconds of the audio given since begin() (the decoder's frames
// count all of its audio, the silence it drops included); with confidence,
// final results carry each word's lattice posterior.
class SegmentingRecognizer {
 public:
  using Deliver = std::function<void(TranscriptionResult)>;

  SegmentingRecognizer(Decoder& decoder, double sampleRate, const EngineSettings& settings,
                       Deliver deliver, AttributeOptions attributes = {});

  // Opens the first segment; times count from here.
  void begin();
  // Returns early, between chunks, once `stop` is requested.
  void process(const int16_t* samples, size_t count, std::stop_token stop = {});
  // Decodes what is held back and closes the last segment with its final
  // result.
  void finish();

 private:
  // The words of a segment's finished parts.
  struct Parts {
    std::string text;
    std::vector<TranscribedWord> words;
    std::optional<AudioTimeRange> range;
    uint64_t frames = 0;  // engine frames
  };
  static constexpr double kResumeSeconds = 0.5;

  void decode(const int16_t* samples, size_t count);
  bool cutDue();
  void cutHeldAudio();
  void closeSegment(bool reopen);
  void closePart();
  // The segment's text so far: its parts' and then the engine's `text`.
  std::string joined(std::string text) const;
  // A result of the segment's `text` (joined), with its parts' words.
  TranscriptionResult result(std::string text, bool isFinal);

  Decoder& decoder_;
  size_t chunkFrames_;
  uint64_t holdFromFrame_ = 0;      // engine frames of a segment; 0: segments are unbounded
  uint64_t partHoldFromFrame_ = 0;  // engine frames of a part; 0: one part per segment
  size_t windowSamples_ = 0;
  size_t partWindowSamples_ = 0;
  size_t blockSamples_ = 0;
  std::vector<int16_t> held_;
  bool holding_ = false;
  bool cutEndsSegment_ = false;
  Deliver deliver_;
  AttributeOptions attributes_;
  double origin_ = 0.0;   // the decoder's seconds at begin()
  double lastEnd_ = 0.0;  // of the last final or part, in seconds of this session's audio
  bool inSpeech_ = false;
  bool hadPartial_ = false;
  std::string partial_;
  Parts parts_;
  std::optional<double> partEndedAt_;  // decoder seconds, while the engine has heard no more speech
};

}  // namespace earshot::platform::linuxos
