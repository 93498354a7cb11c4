#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/linux/engine/decoded_word.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/models/installed_models.h"
#include "platform/linux/support/text_encoding.h"
#include "platform/linux/vocabulary/contextual_vocabulary.h"
#include "platform/speech_analyzer.h"

struct ps_decoder_s;
struct cmd_ln_s;
struct ngram_model_s;

namespace earshot::platform::linuxos {

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

  // The phones of a word of the dictionary as loaded ("word(2)" for its
  // second pronunciation), or nullopt when it has no such word.
  std::optional<std::string> pronunciation(const std::string& word);

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
  // The mean of the features the engine has taken in since markNewSpeech()
  // (or since loaded), each frame counted once: the engine's own mean also
  // holds the mean it started from, weighted like a few seconds of speech,
  // and forgets old frames. Empty before the first frame.
  std::vector<float> newSpeechMean() const;
  void markNewSpeech();
  // The mean the decoder started with when it was loaded: the model's own.
  const std::vector<float>& initialCepstralMean() const { return initialMean_; }
  // Whether the engine's normalisation is still as loaded: no audio heard
  // and no mean set since.
  bool normalisationUntouched() const { return samplesProcessed_ == 0 && !meanSet_; }
  // Early updates (EngineSettings) run again for the next seconds of speech
  // from now, as in a newly loaded decoder; or, when not `enabled`, never
  // again until the next call.
  void restartEarlyAdaptation(bool enabled);
  // Frames of speech decoded since the decoder was loaded.
  uint64_t speechFrames() const { return finishedFrames_ + utteranceFrames_; }
  // Frames of the current utterance (speech, as voice activity detection
  // lets through).
  uint64_t utteranceFrames() const { return utteranceFrames_; }
  // Frames per second of the engine's feature stream (at least one).
  unsigned framesPerSecond() const { return framesPerSecond_; }

  // What SpeakerAdaptation keeps about this decoder.
  struct Adaptation {
    const void* owner = nullptr;  // the SpeakerAdaptation the rest belongs to
    bool keyRead = false;
    std::optional<std::string> modelKey;  // nullopt: nothing carried between processes
    // The current session's choice, and the band of the audio it hears.
    SpeakerAdaptationMode mode = SpeakerAdaptationMode::persistent;
    std::string profile;
    bool narrowband = false;
    // The state whose mean the decoder holds ("" before the first session),
    // and the means of states it left earlier in this process.
    std::string state;
    std::map<std::string, std::vector<float>> parked;
    uint64_t savedAtFrame = 0;
  };
  Adaptation& adaptation() { return adaptation_; }

 private:
  struct FreeLanguageModel {
    void operator()(ngram_model_s* model) const;
  };
  using LanguageModel = std::unique_ptr<ngram_model_s, FreeLanguageModel>;

  [[noreturn]] void fail(const std::string& what);
  // The language model, the dictionary words it can produce and those the
  // phrases look up, then the phrases (or the language model alone).
  void loadWordsOfLanguageModel(const SpeechModel& model, const std::vector<std::string>& phrases);
  void loadVocabulary(const SpeechModel& model, const std::vector<std::string>& phrases,
                      LanguageModel own);
  void addConfidence(std::vector<DecodedWord>& tokens, int utteranceStart);
  std::vector<DecodedWord> splitCompounds(std::vector<DecodedWord> tokens) const;
  void countFrames();
  // After every call that may change the engine's normalisation: adds the
  // frames it took in (about `framesIn`) to the new speech's sum.
  void followNormalisation(uint64_t framesIn);
  void seeNormalisation();

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
  uint64_t earlyFrom_ = 0;
  bool earlyEnabled_ = true;
  std::vector<float> initialMean_;
  bool meanSet_ = false;
  // The new speech's sum and frames, and the engine's sum and frames as
  // last seen.
  std::vector<double> newSum_;
  double newFrames_ = 0;
  std::vector<double> seenSum_;
  int seenFrames_ = 0;
  Adaptation adaptation_;
};

}  // namespace earshot::platform::linuxos
