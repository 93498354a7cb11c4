#pragma once

#include <memory>
#include <string>

#include "platform/linux/adaptation/cepstral_mean_memory.h"
#include "platform/linux/engine/decoder.h"
#include "platform/linux/models/installed_models.h"
#include "platform/speech_analyzer.h"

namespace earshot::platform::linuxos {

// Carries a decoder's adaptation to the speaker and microphone (its cepstral
// mean) within a process and from one process to the next, apart for every
// profile and for each band of audio: narrowband audio (that came at a rate
// below 16 kHz) has no high frequencies, and a mean learned from it would
// mislead the decoding of wideband audio, and the other way round.
//
// Each session begins in the state of its mode, profile and band: `off`
// always starts from the model's own mean, without early updates; `session`
// from the mean this process learned for the profile and band, or the
// model's own; `persistent` likewise, or else from the mean kept in memory.
// When a session of `persistent` ends, or its audio changes band, having
// heard enough speech since its state was entered or last saved, the mean
// of that speech alone (not the decoder's, which still holds the mean it
// started from) is blended into the kept one, each weighted by the speech
// it was learned from, each weight capped, so one short or odd session
// cannot replace what many taught. Called on the thread that holds the
// decoder's lease; never throws.
class SpeakerAdaptation {
 public:
  // Less speech gives a mean too rough to keep (docs/recognition.md).
  static constexpr double kSavingSpeechSeconds = 2.0;
  // The most speech either side of a blend counts as (docs/recognition.md).
  static constexpr double kBlendCapSeconds = 60.0;

  // Without `memory`, nothing is carried between processes.
  explicit SpeakerAdaptation(std::shared_ptr<CepstralMeanMemory> memory)
      : memory_(std::move(memory)) {}

  // At the start of every session, before the decoder hears anything.
  void begin(Decoder& decoder, const SpeechModel& model, SpeakerAdaptationMode mode,
             const std::string& profile) noexcept;
  // The same for the default: persistent, the default profile.
  void restore(Decoder& decoder, const SpeechModel& model) noexcept {
    begin(decoder, model, SpeakerAdaptationMode::persistent, kDefaultSpeakerProfile);
  }
  // Before each piece of audio: whether it is narrowband.
  void useBand(Decoder& decoder, bool narrowband) noexcept;
  // At the end of a session.
  void save(Decoder& decoder) noexcept;

  // The name under which `profile`'s mean for a model and band is kept:
  // the model's key alone for the default profile's wideband state (the
  // state of earlier versions), "<key>@<profile>" for another profile,
  // followed by "+narrowband" for the narrow band.
  static std::string keptName(const std::string& modelKey, const std::string& profile,
                              bool narrowband);

 private:
  void enter(Decoder& decoder, const std::string& state);
  void leave(Decoder& decoder);
  std::string stateOf(const Decoder::Adaptation& adaptation) const;
  bool keeps(const std::string& state) const;

  std::shared_ptr<CepstralMeanMemory> memory_;
};

}  // namespace earshot::platform::linuxos
