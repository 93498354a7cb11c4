#pragma once

#include <optional>
#include <string>

#include "platform/linux/models/installed_models.h"

namespace earshot::platform::linuxos {

// Names what a model's adaptation belongs to: "<BCP 47>-<16 hex digits>",
// the digits from a SHA-256 of the acoustic model's feature parameters and
// Gaussian means, so that a different or reinstalled model never starts from
// another one's state (the language model and dictionary do not matter to
// it). Nullopt when those files cannot be read.
std::optional<std::string> modelAdaptationKey(const SpeechModel& model);

}  // namespace earshot::platform::linuxos
