#pragma once

#include <optional>
#include <string>

#include "platform/linux/models/installed_models.h"

namespace earshot::platform::linuxos {

// What can be told wrong with a model's files before the engine reads them:
// the engine asserts on some feature parameters out of range (a sample rate
// of 1e300) and exits on an acoustic model definition it cannot parse. Reads
// the feature parameters and the first bytes of the model definition, and
// that no file the engine would open is a FIFO, a device or a socket.
// Returns the problem in words ("the feature parameter -samprate 1e300 is
// out of range"), or nullopt when nothing is seen.
std::optional<std::string> modelFileProblem(const SpeechModel& model);

}  // namespace earshot::platform::linuxos
