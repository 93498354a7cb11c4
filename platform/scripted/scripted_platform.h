#pragma once

#include <memory>

#include "platform/platform.h"
#include "platform/scripted/call_log.h"
#include "platform/scripted/scripted_asset_inventory.h"
#include "platform/scripted/scripted_converter.h"
#include "platform/scripted/scripted_sleeper.h"
#include "platform/scripted/scripted_speech_services.h"

namespace earshot::platform::scripted {

// A whole scripted platform: configure its parts, hand platform() to a mode,
// then read log->calls().
struct ScriptedPlatform {
  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  std::shared_ptr<ScriptedSpeechServices> speech = std::make_shared<ScriptedSpeechServices>(log);
  std::shared_ptr<ScriptedAssetInventory> assets = std::make_shared<ScriptedAssetInventory>(log);
  std::shared_ptr<ScriptedConverterFactory> converters =
      std::make_shared<ScriptedConverterFactory>(log);
  std::shared_ptr<ScriptedSleeper> sleeper = std::make_shared<ScriptedSleeper>(log);

  Platform platform() const { return Platform{speech, assets, converters, sleeper}; }
};

}  // namespace earshot::platform::scripted
