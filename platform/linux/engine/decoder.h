#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/models/installed_models.h"
#include "platform/linux/support/text_encoding.h"
#include "platform/linux/vocabulary/contextual_vocabulary.h"

struct ps_decoder_s;
struct cmd_ln_s;

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

// The words of a hypothesis and the frames of the utterance it covers so
// far, silence and noise the engine kept included.
struct DecodedHypothesis {
  std::vector<DecodedWord> words;
  bool hasFrames = false;
  int startFrame = 0;
  int endFrame = 0;
};

// One loaded engine instance. Loading takes a noticeable fraction of a
// second, so instances are kept (DecoderPool) rather than made per session.
// Not thread-safe: one thread at a time. Failures throw PlatformError.
class Decoder {
 public:
  // With contextual phrases, words the dictionary lacks get pronunciations
  // and the language model is interpolated with a model of the phrases
  // (contextual_vocabulary.h); their cost is paid here, once.
  Decoder(const SpeechModel& model, const EngineSettings& settings,
          const std::vector<std::string>& contextualPhrases = {});
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  void startUtterance();
  // Audio at the model's rate. Voice activity detection drops silence.
  void process(const int16_t* samples, size_t count);
  // Whether the engine's voice activity detection is inside speech.
  bool inSpeech();
  // The text of the current utterance so far, or of the one just ended, in
  // UTF-8 whatever the model's own encoding.
  std::string hypothesis();
  // The same with the frames of each word; with `confidence`, which needs a
  // closed utterance, each word's posterior too.
  DecodedHypothesis detailedHypothesis(bool confidence);
  // Seconds of audio the decoder has been given since it was loaded.
  double secondsProcessed() const { return double(samplesProcessed_) / sampleRate_; }
  void endUtterance();
  bool inUtterance() const { return inUtterance_; }

  // The cepstral mean the engine subtracts from every frame: the model's
  // generic one until the decoder has adapted to the speaker and channel.
  std::vector<float> cepstralMean();
  // Starts from a mean learned before, weighted like a few seconds of
  // speech. False, and nothing changed, when its length is not the model's.
  bool setCepstralMean(std::span<const float> mean);
  // Frames of speech decoded since the decoder was loaded.
  uint64_t speechFrames() const { return finishedFrames_ + utteranceFrames_; }
  // Frames of the current utterance (speech, as voice activity detection
  // lets through).
  uint64_t utteranceFrames() const { return utteranceFrames_; }
  // Frames per second of the engine's feature stream (at least one).
  unsigned framesPerSecond() const { return framesPerSecond_; }

  // What SpeakerAdaptation keeps about this decoder.
  struct Adaptation {
    bool restored = false;
    std::optional<std::string> key;  // nullopt: not carried between processes
    uint64_t savedAtFrame = 0;
  };
  Adaptation& adaptation() { return adaptation_; }

 private:
  [[noreturn]] void fail(const std::string& what);
  void loadVocabulary(const SpeechModel& model, const std::vector<std::string>& phrases);
  void addConfidence(std::vector<DecodedWord>& tokens, int utteranceStart);
  std::vector<DecodedWord> splitCompounds(std::vector<DecodedWord> tokens) const;
  void countFrames();

  cmd_ln_s* config_ = nullptr;
  ps_decoder_s* engine_ = nullptr;
  ContextualVocabulary vocabulary_;
  double sampleRate_;
  uint64_t samplesProcessed_ = 0;
  bool inUtterance_ = false;
  support::TextToUtf8 toUtf8_;
  unsigned framesPerSecond_ = 100;
  uint64_t finishedFrames_ = 0;  // in utterances that ended
  uint64_t utteranceFrames_ = 0;
  // Early adaptation (EngineSettings), in frames of speech.
  uint64_t earlyEvery_ = 0;
  uint64_t earlyUntil_ = 0;
  uint64_t lastEarlyUpdate_ = 0;
  Adaptation adaptation_;
};

}  // namespace earshot::platform::linuxos
