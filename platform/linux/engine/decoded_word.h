#pragma once

#include <string>

namespace earshot::platform::linuxos {

// A word of a hypothesis and the frames it spans, counted from the first
// audio the decoder was given (the silence its voice activity detection
// drops included: frame n starts n / framesPerSecond() seconds into that audio);
// `endFrame` is one past its last frame.
struct DecodedWord {
  std::string text;
  int startFrame = 0;
  int endFrame = 0;
  // Posterior probability from the utterance's word lattice, 0 to 1; only
  // filled in for a closed utterance when asked for.
  double confidence = 0.0;
};

}  // namespace earshot::platform::linuxos
