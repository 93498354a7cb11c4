#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/locale.h"

namespace earshot::platform::linuxos {

// A kept cepstral mean and how much speech it was learned from.
struct KeptMean {
  std::vector<float> values;
  // Seconds of speech; 0 when not recorded (state of an earlier version).
  double speechSeconds = 0;

  bool operator==(const KeptMean&) const = default;
};

// Keeps the cepstral mean a decoder adapted to (the speaker's voice and
// microphone as the engine sees them) from one process to the next, one per
// model, profile and band. `name` comes from SpeakerAdaptation: it starts
// with a key from modelAdaptationKey(), and holds nothing but letters,
// digits and ".-_@+". Nothing here fails: state that cannot be read or
// written only means starting from the model's generic mean. Implemented by
// CepstralMeanFiles.
class CepstralMeanMemory {
 public:
  virtual ~CepstralMeanMemory() = default;
  // The mean last kept under `name`, if there is a usable one.
  virtual std::optional<KeptMean> recallKept(const std::string& name) = 0;
  virtual void keep(const std::string& name, const KeptMean& kept) = 0;
  // Drops what is kept for every model of `locale`, under every profile.
  virtual void forget(const Locale& locale) = 0;

  // The values alone, and keeping values without a speech amount.
  std::optional<std::vector<float>> recall(const std::string& name) {
    auto kept = recallKept(name);
    if (!kept) return std::nullopt;
    return std::move(kept->values);
  }
  void remember(const std::string& name, std::span<const float> mean) {
    keep(name, KeptMean{{mean.begin(), mean.end()}, 0});
  }
};

}  // namespace earshot::platform::linuxos
