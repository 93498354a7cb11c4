#include "platform/linux/adaptation/speaker_adaptation.h"

#include <algorithm>

#include "platform/linux/adaptation/model_adaptation_key.h"

namespace earshot::platform::linuxos {
namespace {

// The state of `off`: the model's own mean, entered afresh by every session.
const std::string kOffState = "off";
// States of `session` are kept in this process only.
const std::string kSessionPrefix = "session:";

bool safeProfile(const std::string& profile) {
  return !profile.empty() && profile.size() <= 64 &&
         std::all_of(profile.begin(), profile.end(), [](char c) {
           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                  c == '.' || c == '_' || c == '-';
         });
}

// Each side counts as at most `cap` seconds, so that neither a kept mean
// grown old over many sessions nor one long odd session can outweigh the
// other entirely.
KeptMean blend(const std::optional<KeptMean>& kept, std::span<const float> mean, double seconds,
               double cap) {
  double fresh = std::min(seconds, cap);
  if (!kept || kept->values.size() != mean.size()) {
    return KeptMean{{mean.begin(), mean.end()}, fresh};
  }
  // A mean of an earlier version, which kept no amount, counts in full.
  double old = kept->speechSeconds > 0 ? std::min(kept->speechSeconds, cap) : cap;
  KeptMean blended{std::vector<float>(mean.size()), std::min(old + fresh, cap)};
  for (size_t i = 0; i < mean.size(); ++i) {
    blended.values[i] =
        static_cast<float>((old * kept->values[i] + fresh * mean[i]) / (old + fresh));
  }
  return blended;
}

}  // namespace

std::string SpeakerAdaptation::keptName(const std::string& modelKey, const std::string& profile,
                                        bool narrowband) {
  std::string name = modelKey;
  if (profile != kDefaultSpeakerProfile || narrowband) name += "@" + profile;
  if (narrowband) name += "+narrowband";
  return name;
}

std::string SpeakerAdaptation::stateOf(const Decoder::Adaptation& a) const {
  switch (a.mode) {
    case SpeakerAdaptationMode::off:
      return kOffState;
    case SpeakerAdaptationMode::session:
      return kSessionPrefix + a.profile + (a.narrowband ? "+narrowband" : "");
    case SpeakerAdaptationMode::persistent:
      break;
  }
  // Without a key or a memory nothing is kept: the process's own state.
  if (!memory_ || !a.modelKey || !safeProfile(a.profile)) {
    return kSessionPrefix + a.profile + (a.narrowband ? "+narrowband" : "");
  }
  return keptName(*a.modelKey, a.profile, a.narrowband);
}

bool SpeakerAdaptation::keeps(const std::string& state) const {
  return memory_ && state != kOffState && !state.starts_with(kSessionPrefix);
}

void SpeakerAdaptation::begin(Decoder& decoder, const SpeechModel& model,
                              SpeakerAdaptationMode mode, const std::string& profile) noexcept {
  Decoder::Adaptation& a = decoder.adaptation();
  try {
    if (a.owner != this) {
      // Another platform's state (tests make several in one process): the
      // decoder starts over as if newly loaded.
      bool narrowband = a.narrowband;
      a = Decoder::Adaptation{};
      a.owner = this;
      a.narrowband = narrowband;
    }
    if (!a.keyRead && mode == SpeakerAdaptationMode::persistent && memory_) {
      a.keyRead = true;
      a.modelKey = modelAdaptationKey(model);
    }
    a.mode = mode;
    a.profile = profile;
    if (mode == SpeakerAdaptationMode::off) {
      leave(decoder);
      a.state.clear();  // entered afresh every time
    }
    enter(decoder, stateOf(a));
  } catch (...) {
  }
}

void SpeakerAdaptation::useBand(Decoder& decoder, bool narrowband) noexcept {
  Decoder::Adaptation& a = decoder.adaptation();
  if (a.owner != this || a.narrowband == narrowband) return;
  a.narrowband = narrowband;
  try {
    enter(decoder, stateOf(a));
  } catch (...) {
  }
}

void SpeakerAdaptation::save(Decoder& decoder) noexcept {
  Decoder::Adaptation& a = decoder.adaptation();
  if (a.owner != this || !keeps(a.state)) return;
  uint64_t enough = static_cast<uint64_t>(kSavingSpeechSeconds * decoder.framesPerSecond());
  if (decoder.speechFrames() < a.savedAtFrame + enough) return;
  try {
    double seconds = double(decoder.speechFrames() - a.savedAtFrame) / decoder.framesPerSecond();
    // The speech since the last save alone: the decoder's own mean still
    // holds some of the kept one it started from, which would count twice.
    std::vector<float> mean = decoder.newSpeechMean();
    if (mean.empty()) return;
    memory_->keep(a.state, blend(memory_->recallKept(a.state), mean, seconds, kBlendCapSeconds));
    a.savedAtFrame = decoder.speechFrames();
    decoder.markNewSpeech();
  } catch (...) {
  }
}

void SpeakerAdaptation::leave(Decoder& decoder) {
  Decoder::Adaptation& a = decoder.adaptation();
  if (a.state.empty() || a.state == kOffState) return;
  save(decoder);
  a.parked[a.state] = decoder.cepstralMean();
}

void SpeakerAdaptation::enter(Decoder& decoder, const std::string& state) {
  Decoder::Adaptation& a = decoder.adaptation();
  if (!a.state.empty() && a.state == state) return;  // the mean carries on
  leave(decoder);
  a.state = state;
  a.savedAtFrame = decoder.speechFrames();
  decoder.markNewSpeech();
  if (auto parked = a.parked.find(state); parked != a.parked.end()) {
    decoder.setCepstralMean(parked->second);
    return;
  }
  // A mean of the wrong length is refused by the decoder, which then
  // starts from the model's own.
  std::optional<KeptMean> kept;
  if (keeps(state)) kept = memory_->recallKept(state);
  if ((!kept || !decoder.setCepstralMean(kept->values)) && !decoder.normalisationUntouched()) {
    decoder.setCepstralMean(decoder.initialCepstralMean());
  }
  decoder.restartEarlyAdaptation(state != kOffState);
}

}  // namespace earshot::platform::linuxos
