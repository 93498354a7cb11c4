#pragma once

#include "platform/linux/engine_settings.h"
#include "platform/linux/model_catalog.h"
#include "platform/platform.h"

namespace earshot::platform::linuxos {

// The Linux platform over the models of `catalog`. Decoders come from the
// process's pool, so every platform made in a process shares them.
Platform makeLinuxPlatform(ModelCatalog catalog = ModelCatalog::system(),
                           EngineSettings settings = defaultEngineSettings());

}  // namespace earshot::platform::linuxos
