#pragma once

#include <memory>

#include "platform/asset_inventory.h"
#include "platform/linux/store/catalog.h"
#include "platform/linux/store/model_preparation.h"
#include "platform/linux/store/store_asset_inventory.h"
#include "platform/linux/support/store_locations.h"

namespace earshot::platform::linuxos::store {

// Installs one catalog model, an archive or several files.
// downloadAndInstall() runs on the caller's thread. It holds the locks of
// the cached downloads throughout (a second
// install of the same locale waits, then finds it installed) and the store
// lock only to unpack and publish, so releases and other installs wait
// for no download. It writes the progress, and whether it waits for
// another process's lock, from that thread; the poller reads them from its
// own without a lock. Whatever fails,
// or wherever the process dies, the store keeps its previous entries: the
// new entry appears in one rename, complete.
class StoreInstallationRequest final : public AssetInstallationRequest {
 public:
  StoreInstallationRequest(support::StoreLocations locations, CatalogEntry entry,
                           SystemModelCheck isSystemModel, ModelLoadCheck checkLoadable = {},
                           LanguageModelConversion convertLanguageModel = {});

  std::shared_ptr<Progress> progress() override { return progress_; }
  // Throws PlatformError with one description naming the locale.
  void downloadAndInstall() override;

 private:
  void install();

  support::StoreLocations locations_;
  CatalogEntry entry_;
  SystemModelCheck isSystemModel_;
  ModelLoadCheck checkLoadable_;
  LanguageModelConversion convertLanguageModel_;
  std::shared_ptr<Progress> progress_ = std::make_shared<Progress>();
};

// Throws the PlatformError for a full store unless `locale` may be reserved.
class ModelStore;
void checkReservationLimit(const ModelStore& store, const Locale& locale);

}  // namespace earshot::platform::linuxos::store
