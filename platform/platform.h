#pragma once

#include <memory>

#include "platform/asset_inventory.h"
#include "platform/audio_converter.h"
#include "platform/sleeper.h"
#include "platform/speech_services.h"

namespace earshot::platform {

// Everything the logic reaches the operating system's speech and audio
// services through. Each mode queries it afresh; nothing is cached here.
// Implementations: makeLinuxPlatform (platform/linux), ScriptedPlatform
// (platform/scripted).
struct Platform {
  std::shared_ptr<SpeechServices> speech;
  std::shared_ptr<AssetInventory> assets;
  std::shared_ptr<AudioConverterFactory> converters;
  std::shared_ptr<Sleeper> sleeper;
};

// The platform of this machine, defined by the implementation the program
// links (platform/linux/system_platform.cpp). Called by the entry only.
Platform makeSystemPlatform();

}  // namespace earshot::platform
