#include "platform/linux/linux_platform.h"

#include "platform/linux/decoder_pool.h"
#include "platform/linux/linux_asset_inventory.h"
#include "platform/linux/linux_speech_services.h"
#include "platform/linux/soxr_converter.h"
#include "platform/linux/store/store_asset_inventory.h"

namespace earshot::platform::linuxos {

Platform makeLinuxPlatform(ModelCatalog catalog, EngineSettings settings) {
  std::shared_ptr<AssetInventory> assets;
  if (catalog.store()) {
    auto isSystemModel = [catalog](const Locale& locale) {
      auto model = catalog.find(locale);
      return model && model->system;
    };
    assets = std::make_shared<store::StoreAssetInventory>(*catalog.store(), isSystemModel);
  } else {
    assets = std::make_shared<LinuxAssetInventory>(catalog);
  }
  return Platform{
      std::make_shared<LinuxSpeechServices>(catalog, std::move(settings), DecoderPool::shared()),
      std::move(assets), std::make_shared<SoxrConverterFactory>(),
      std::make_shared<SystemSleeper>()};
}

}  // namespace earshot::platform::linuxos
