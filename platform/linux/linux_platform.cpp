#include "platform/linux/linux_platform.h"

#include "platform/linux/decoder_pool.h"
#include "platform/linux/linux_asset_inventory.h"
#include "platform/linux/linux_speech_services.h"
#include "platform/linux/soxr_converter.h"

namespace earshot::platform::linuxos {

Platform makeLinuxPlatform(ModelCatalog catalog, EngineSettings settings) {
  return Platform{
      std::make_shared<LinuxSpeechServices>(catalog, std::move(settings), DecoderPool::shared()),
      std::make_shared<LinuxAssetInventory>(catalog), std::make_shared<SoxrConverterFactory>(),
      std::make_shared<SystemSleeper>()};
}

}  // namespace earshot::platform::linuxos
