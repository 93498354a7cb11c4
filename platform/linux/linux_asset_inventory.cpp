#include "platform/linux/linux_asset_inventory.h"

#include "platform/platform_error.h"

namespace earshot::platform::linuxos {

std::vector<Locale> LinuxAssetInventory::reservedLocales() {
  return {};
}

int64_t LinuxAssetInventory::maximumReservedLocales() {
  return kMaximumReservedLocales;
}

std::unique_ptr<AssetInstallationRequest> LinuxAssetInventory::assetInstallationRequest(
    const ModuleList& modules) {
  for (const auto& module : modules) {
    if (!module) continue;
    if (!catalog_.find(module->locale())) {
      throw PlatformError("No speech model for " + module->locale().bcp47() +
                          " can be downloaded.");
    }
  }
  return nullptr;
}

bool LinuxAssetInventory::release(const Locale&) {
  return false;
}

}  // namespace earshot::platform::linuxos
