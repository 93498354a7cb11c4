#pragma once

#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/models/installed_models.h"

namespace earshot::platform::linuxos {

// Loads `model` once in a child process (runIsolated), so that a model the
// engine cannot load (it may exit or abort instead of failing) is found
// without harm to this process. Throws std::runtime_error with the reason
// ("the speech engine refused it: ...") when the load fails in any way.
void trialLoad(const SpeechModel& model, const EngineSettings& settings);

}  // namespace earshot::platform::linuxos
