#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>

#include "platform/linux/decoder.h"
#include "platform/speech_transcriber.h"

namespace earshot::platform::linuxos {

// Turns a decoder's running hypothesis into results. Audio goes to the
// decoder in chunks; after each chunk a changed hypothesis of the current
// segment is a volatile result (the whole segment so far), and the end of
// speech seen by voice activity detection closes the segment with a final
// result. A segment that had volatile results always closes with a final,
// even an empty one; a silent segment gives nothing.
//
// With attributes, results carry their words; with the audio time range,
// times in seconds of the audio given since begin() (the decoder's frames
// count all of its audio, the silence it drops included); with confidence,
// final results carry each word's lattice posterior.
class SegmentingRecognizer {
 public:
  using Deliver = std::function<void(TranscriptionResult)>;

  SegmentingRecognizer(Decoder& decoder, double sampleRate, unsigned chunkMilliseconds,
                       Deliver deliver, AttributeOptions attributes = {});

  // Opens the first segment; times count from here.
  void begin();
  // Returns early, between chunks, once `stop` is requested.
  void process(const int16_t* samples, size_t count, std::stop_token stop = {});
  // Closes the last segment with its final result.
  void finish();

 private:
  void closeSegment(bool reopen);
  TranscriptionResult result(std::string text, bool isFinal);

  Decoder& decoder_;
  size_t chunkFrames_;
  Deliver deliver_;
  AttributeOptions attributes_;
  double origin_ = 0.0;  // the decoder's seconds at begin()
  bool inSpeech_ = false;
  bool hadPartial_ = false;
  std::string partial_;
};

}  // namespace earshot::platform::linuxos
