#pragma once

#include <string>
#include <utility>
#include <vector>

namespace earshot::platform::linuxos {

// How the engine is configured beyond the model's own files. The choice and
// its measurements are in docs/recognition.md; bench/engine_loop tries others.
struct EngineSettings {
  // Engine options as name/value pairs ("-fwdflat", "no"), passed after the
  // model paths.
  std::vector<std::pair<std::string, std::string>> options;
  // Audio handed to the engine at once, in milliseconds: the granularity of
  // voice activity decisions and of volatile results.
  unsigned chunkMilliseconds = 100;
  // The engine updates its cepstral mean only at the end of an utterance, so
  // a new decoder would hear its whole first utterance with the model's
  // generic mean. Until it has heard `earlyAdaptationSpeechSeconds` of
  // speech, the mean is updated after every `earlyAdaptationMilliseconds` of
  // speech as well. Zero turns this off.
  unsigned earlyAdaptationMilliseconds = 0;
  unsigned earlyAdaptationSpeechSeconds = 0;
  // Longest segment of speech before it is closed with a final result, and
  // the audio before that limit in which to look for the quietest point to
  // cut at (SegmentingRecognizer). Zero: segments end only at pauses.
  unsigned maxSegmentSeconds = 0;
  unsigned segmentCutWindowMilliseconds = 0;
  // With word confidence, a segment's speech reaches the engine in parts of
  // at most this length, cut the same way in a window of their own, and the
  // final joins them: the lattice confidence is read from grows faster than
  // its utterance, and the final waits for its last part's. The window is
  // short because held audio waits: volatile results pause, and a stop
  // decodes it. Zero: one part per segment.
  unsigned confidencePartSeconds = 0;
  unsigned confidencePartWindowMilliseconds = 0;
  // The decoder loads only the dictionary words its language model can
  // produce (and those contextual phrases look up): the same results from a
  // faster load and less memory. False loads the whole dictionary, to compare.
  bool languageModelWordsOnly = true;

  bool operator==(const EngineSettings&) const = default;
};

// The settings the program runs with.
EngineSettings defaultEngineSettings();

}  // namespace earshot::platform::linuxos
