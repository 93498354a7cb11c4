#include "platform/linux/store/store_asset_inventory.h"

#include "platform/linux/store/catalog.h"
#include "platform/linux/store/model_store.h"
#include "platform/linux/store/store_installation_request.h"
#include "platform/linux/store/store_lock.h"
#include "platform/platform_error.h"

namespace earshot::platform::linuxos::store {

StoreAssetInventory::StoreAssetInventory(support::StoreLocations locations,
                                         SystemModelCheck isSystemModel,
                                         ModelLoadCheck checkLoadable, ReleaseFollowUp afterRelease)
    : locations_(std::move(locations)),
      isSystemModel_(std::move(isSystemModel)),
      checkLoadable_(std::move(checkLoadable)),
      afterRelease_(std::move(afterRelease)) {}

std::vector<Locale> StoreAssetInventory::reservedLocales() {
  return ModelStore(locations_).reservedLocales();
}

int64_t StoreAssetInventory::maximumReservedLocales() {
  return store::kMaximumReservedLocales;
}

std::unique_ptr<AssetInstallationRequest> StoreAssetInventory::assetInstallationRequest(
    const ModuleList& modules) {
  if (modules.empty() || !modules.front()) return nullptr;
  const Locale& locale = modules.front()->locale();
  ModelStore store(locations_);
  if (isSystemModel_(locale) || store.installedModel(locale)) return nullptr;
  Catalog catalog = Catalog::load(locations_);
  const CatalogEntry* entry = catalog.find(locale);
  if (entry == nullptr) {
    throw PlatformError("No downloadable speech model for " + locale.bcp47() +
                        " is listed in the model catalog.");
  }
  checkReservationLimit(store, locale);
  return std::make_unique<StoreInstallationRequest>(locations_, *entry, isSystemModel_,
                                                    checkLoadable_);
}

bool StoreAssetInventory::release(const Locale& reservedLocale) {
  ModelStore store(locations_);
  // Nothing to release: answer without creating the store.
  if (isSystemModel_(reservedLocale) || !store.entry(reservedLocale)) return false;
  bool removed = false;
  try {
    StoreLock lock(locations_.lockFile());
    store.removeLeftovers();
    removed = store.removeEntry(reservedLocale);
  } catch (const std::exception& failure) {
    throw PlatformError("Could not release " + reservedLocale.bcp47() + ": " + failure.what());
  }
  if (removed && afterRelease_) afterRelease_(reservedLocale);
  return removed;
}

}  // namespace earshot::platform::linuxos::store
