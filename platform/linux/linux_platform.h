#pragma once

#include "platform/linux/engine_settings.h"
#include "platform/linux/installed_models.h"
#include "platform/platform.h"

namespace earshot::platform::linuxos {

// The Linux platform over `models`; its asset inventory is the model store
// of `models`. Decoders come from the process's pool, so every platform made
// in a process shares them.
Platform makeLinuxPlatform(InstalledModels models = InstalledModels::system(),
                           EngineSettings settings = defaultEngineSettings());

}  // namespace earshot::platform::linuxos
