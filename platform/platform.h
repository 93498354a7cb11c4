#pragma once

#include <memory>

#include "platform/asset_inventory.h"
#include "platform/audio_converter.h"
#include "platform/sleeper.h"
#include "platform/speech_services.h"

namespace earshot::platform {

// Everything the logic reaches the operating system's speech and audio
// services through. Each mode queries it afresh; nothing is cached here.
struct Platform {
  std::shared_ptr<SpeechServices> speech;
  std::shared_ptr<AssetInventory> assets;
  std::shared_ptr<AudioConverterFactory> converters;
  std::shared_ptr<Sleeper> sleeper;
};

// The platform of this machine (the Linux speech stack when it is built in,
// else a platform that reports itself unavailable).
Platform makeSystemPlatform();

}  // namespace earshot::platform
