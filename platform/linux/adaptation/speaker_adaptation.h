#pragma once

#include <memory>

#include "platform/linux/adaptation/cepstral_mean_memory.h"
#include "platform/linux/engine/decoder.h"
#include "platform/linux/models/installed_models.h"

namespace earshot::platform::linuxos {

// Carries a decoder's adaptation to the speaker and microphone (its cepstral
// mean) from one process to the next: a newly loaded decoder starts from the
// mean remembered for its model, and once a decoder has heard enough speech
// since it started or was last saved, the end of a session remembers its
// mean. Called on the thread that holds the decoder's lease; never throws.
class SpeakerAdaptation {
 public:
  // Less speech gives a mean too rough to start the next process with
  // (docs/recognition.md).
  static constexpr double savingSpeechSeconds = 2.0;

  // Without `memory`, nothing is carried.
  explicit SpeakerAdaptation(std::shared_ptr<CepstralMeanMemory> memory)
      : memory_(std::move(memory)) {}

  // Once per decoder, before it hears anything.
  void restore(Decoder& decoder, const SpeechModel& model) noexcept;
  // At the end of a session.
  void save(Decoder& decoder) noexcept;

 private:
  std::shared_ptr<CepstralMeanMemory> memory_;
};

}  // namespace earshot::platform::linuxos
