#pragma once

#include <memory>

#include "platform/linux/adaptation/cepstral_mean_memory.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/last_live_locale.h"
#include "platform/linux/models/installed_models.h"
#include "platform/platform.h"

namespace earshot::platform::linuxos {

// The Linux platform over `models`; its asset inventory is the model store
// of `models`. Decoders come from the process's pool, so every platform made
// in a process shares them. Speaker adaptation is kept between processes in
// `memory` (nowhere when null), and the locale of the last live session in
// `lastLocale` (nowhere when null: a live session is then anticipated in the
// user's current locale); the first form keeps both in the state folder of
// the store's locations ($XDG_STATE_HOME/earshot/adaptation and
// last-live-locale).
Platform makeLinuxPlatform(InstalledModels models = InstalledModels::system(),
                           EngineSettings settings = defaultEngineSettings());
Platform makeLinuxPlatform(InstalledModels models, EngineSettings settings,
                           std::shared_ptr<CepstralMeanMemory> memory,
                           std::shared_ptr<LastLiveLocale> lastLocale = nullptr);

}  // namespace earshot::platform::linuxos
