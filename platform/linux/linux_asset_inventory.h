#pragma once

#include <cstdint>

#include "platform/asset_inventory.h"
#include "platform/linux/model_catalog.h"

namespace earshot::platform::linuxos {

// How many locales may be reserved at once.
inline constexpr int64_t kMaximumReservedLocales = 4;

// Models and reservations. The engine's own models are installed and never
// reserved, so there is nothing to install or release for them.
class LinuxAssetInventory final : public AssetInventory {
 public:
  explicit LinuxAssetInventory(ModelCatalog catalog) : catalog_(std::move(catalog)) {}

  std::vector<Locale> reservedLocales() override;
  int64_t maximumReservedLocales() override;
  std::unique_ptr<AssetInstallationRequest> assetInstallationRequest(
      const ModuleList& modules) override;
  bool release(const Locale& reservedLocale) override;

 private:
  ModelCatalog catalog_;
};

}  // namespace earshot::platform::linuxos
