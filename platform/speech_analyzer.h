#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/analyzer_input_queue.h"
#include "platform/audio_format.h"
#include "platform/speech_transcriber.h"

namespace earshot::platform {

// How the recognizer adapts to the speaker and microphone: kept from one
// process to the next (`persistent`), within this process only and never
// kept (`session`), or not at all, every session starting from the model's
// own state (`off`).
enum class SpeakerAdaptationMode { persistent, session, off };

// The profile whose adaptation a session uses when the host names none.
inline constexpr const char* kDefaultSpeakerProfile = "default";

// What the audio is likely to be about: phrases (names, terms) that the
// recognizer should expect and know how to write; and whose voice it is:
// adaptation is kept per profile (one per person or per source).
struct AnalysisContext {
  std::vector<std::string> contextualStrings;
  SpeakerAdaptationMode speakerAdaptation = SpeakerAdaptationMode::persistent;
  std::string speakerProfile = kDefaultSpeakerProfile;

  bool operator==(const AnalysisContext&) const = default;
};

// Runs its modules over the audio of one input queue. Each call blocks the
// calling thread until the platform has done it; failures are thrown.
// Implementations: PocketSphinxAnalyzer (platform/linux), the scripted
// analyzer of SessionScripts (platform/scripted).
class SpeechAnalyzer {
 public:
  virtual ~SpeechAnalyzer() = default;
  // Before prepareToAnalyze; an analyzer without a context expects nothing
  // in particular.
  virtual void setContext(const AnalysisContext& context) = 0;
  virtual void prepareToAnalyze(const AudioFormat& format) = 0;
  // Returns once analysis runs; from then on the analyzer consumes `input`
  // in order on a thread of its own.
  virtual void start(std::shared_ptr<AnalyzerInputQueue> input) = 0;
  // Call after the input queue is closed: returns after the modules have
  // delivered their last results, after which their result sequences end.
  virtual void finalizeAndFinishThroughEndOfInput() = 0;
};

}  // namespace earshot::platform
