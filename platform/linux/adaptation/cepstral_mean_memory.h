#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/locale.h"

namespace earshot::platform::linuxos {

// Keeps the cepstral mean a decoder adapted to (the speaker's voice and
// microphone as the engine sees them) from one process to the next, one per
// model. `model` is a key from modelAdaptationKey(). Nothing here fails:
// state that cannot be read or written only means starting from the model's
// generic mean. Implemented by CepstralMeanFiles.
class CepstralMeanMemory {
 public:
  virtual ~CepstralMeanMemory() = default;
  // The mean last remembered for `model`, if there is a usable one.
  virtual std::optional<std::vector<float>> recall(const std::string& model) = 0;
  virtual void remember(const std::string& model, std::span<const float> mean) = 0;
  // Drops what is remembered for every model of `locale`.
  virtual void forget(const Locale& locale) = 0;
};

}  // namespace earshot::platform::linuxos
