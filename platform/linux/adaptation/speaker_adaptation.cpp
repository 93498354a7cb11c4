#include "platform/linux/adaptation/speaker_adaptation.h"

#include "platform/linux/adaptation/model_adaptation_key.h"

namespace earshot::platform::linuxos {

void SpeakerAdaptation::restore(Decoder& decoder, const SpeechModel& model) noexcept {
  Decoder::Adaptation& state = decoder.adaptation();
  if (!memory_ || state.restored) return;
  state.restored = true;
  try {
    state.key = modelAdaptationKey(model);
    if (!state.key) return;
    // A mean of the wrong length is refused by the decoder.
    if (auto mean = memory_->recall(*state.key)) decoder.setCepstralMean(*mean);
    state.savedAtFrame = decoder.speechFrames();
  } catch (...) {
    state.key.reset();
  }
}

void SpeakerAdaptation::save(Decoder& decoder) noexcept {
  Decoder::Adaptation& state = decoder.adaptation();
  if (!memory_ || !state.key) return;
  uint64_t enough = static_cast<uint64_t>(savingSpeechSeconds * decoder.framesPerSecond());
  if (decoder.speechFrames() < state.savedAtFrame + enough) return;
  try {
    memory_->remember(*state.key, decoder.cepstralMean());
    state.savedAtFrame = decoder.speechFrames();
  } catch (...) {
  }
}

}  // namespace earshot::platform::linuxos
