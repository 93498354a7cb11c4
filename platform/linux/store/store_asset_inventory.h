#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/asset_inventory.h"
#include "platform/linux/support/store_locations.h"

namespace earshot::platform::linuxos::store {

// How many downloaded locales the store keeps reserved at once. A model is
// tens of megabytes (the engine's en-US model is 31 MB), so this bounds the
// store to a few hundred. System models are never reserved and do not count.
inline constexpr int64_t kMaximumReservedLocales = 5;

// Whether the engine's own model folder covers a locale (such a locale is
// installed, never downloaded, never reserved).
using SystemModelCheck = std::function<bool(const Locale&)>;
// Drops what the program keeps about a locale's model outside the store
// (its speaker adaptation) once the model is released.
using ReleaseFollowUp = std::function<void(const Locale&)>;

struct ModelFiles;
// Proves an unpacked model loadable before it is published; throws an
// exception whose text says why not. None: every model is taken as it is.
using ModelLoadCheck = std::function<void(const Locale&, const ModelFiles&)>;

// The asset inventory of the Linux platform: the catalog, the store and its
// reservations. Every call reads the files afresh. Installs and releases
// take the store lock, so they run one at a time across processes.
class StoreAssetInventory final : public AssetInventory {
 public:
  StoreAssetInventory(support::StoreLocations locations, SystemModelCheck isSystemModel,
                      ModelLoadCheck checkLoadable = {}, ReleaseFollowUp afterRelease = {});

  std::vector<Locale> reservedLocales() override;
  int64_t maximumReservedLocales() override;
  // nullptr when the modules' locale is a system model or installed in the
  // store; throws PlatformError when the catalog has no model for it or the
  // reservation limit is reached (nothing is downloaded then).
  std::unique_ptr<AssetInstallationRequest> assetInstallationRequest(
      const ModuleList& modules) override;
  // Drops the reservation, deletes the model and calls the follow-up: false
  // when the locale had no store entry (system models included). Throws
  // PlatformError only when the store cannot be changed (permissions, a
  // failing disk).
  bool release(const Locale& reservedLocale) override;

 private:
  support::StoreLocations locations_;
  SystemModelCheck isSystemModel_;
  ModelLoadCheck checkLoadable_;
  ReleaseFollowUp afterRelease_;
};

}  // namespace earshot::platform::linuxos::store
