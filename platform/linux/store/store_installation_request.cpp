#include "platform/linux/store/store_installation_request.h"

#include <unistd.h>

#include <system_error>

#include "platform/linux/store/archive_extract.h"
#include "platform/linux/store/download.h"
#include "platform/linux/store/manifest.h"
#include "platform/linux/store/model_store.h"
#include "platform/linux/store/store_failure.h"
#include "platform/linux/store/store_lock.h"
#include "platform/linux/support/durable_files.h"
#include "platform/platform_error.h"

namespace earshot::platform::linuxos::store {
namespace fs = std::filesystem;
namespace {

// Deletes a temporary folder unless it was published.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(fs::path path) : path_(std::move(path)) {}
  ~TemporaryFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const fs::path& path() const { return path_; }
  void keep() { path_.clear(); }

 private:
  fs::path path_;
};

void checkParts(const fs::path& root, const CatalogEntry& entry) {
  std::error_code error;
  if (!fs::is_directory(root / entry.acousticModel, error)) {
    throw StoreFailure("the archive has no acoustic model folder \"" + entry.acousticModel + "\"");
  }
  if (!fs::is_regular_file(root / entry.languageModel, error)) {
    throw StoreFailure("the archive has no language model \"" + entry.languageModel + "\"");
  }
  if (!fs::is_regular_file(root / entry.dictionary, error)) {
    throw StoreFailure("the archive has no dictionary \"" + entry.dictionary + "\"");
  }
}

}  // namespace

void checkReservationLimit(const ModelStore& store, const Locale& locale) {
  std::vector<Locale> reserved = store.reservedLocales();
  std::erase(reserved, locale);  // reinstalling a reserved locale takes no new place
  if (static_cast<int64_t>(reserved.size()) < kMaximumReservedLocales) return;
  std::string names;
  for (const auto& other : reserved) names += (names.empty() ? "" : ", ") + other.bcp47();
  throw PlatformError("Cannot install the speech model for " + locale.bcp47() + ": the limit of " +
                      std::to_string(kMaximumReservedLocales) +
                      " reserved locales is reached (reserved: " + names +
                      "). Release one of them first.");
}

StoreInstallationRequest::StoreInstallationRequest(support::StoreLocations locations,
                                                   CatalogEntry entry,
                                                   SystemModelCheck isSystemModel,
                                                   ModelLoadCheck checkLoadable)
    : locations_(std::move(locations)),
      entry_(std::move(entry)),
      isSystemModel_(std::move(isSystemModel)),
      checkLoadable_(std::move(checkLoadable)) {}

void StoreInstallationRequest::downloadAndInstall() {
  try {
    install();
  } catch (const PlatformError&) {
    throw;
  } catch (const std::exception& failure) {
    throw PlatformError("Could not install the speech model for " + entry_.locale.bcp47() + ": " +
                        failure.what());
  }
}

void StoreInstallationRequest::install() {
  ModelStore store(locations_);
  const Locale& locale = entry_.locale;
  if (isSystemModel_(locale) || store.installedModel(locale)) {
    progress_->setFractionCompleted(1.0);
    return;
  }
  checkReservationLimit(store, locale);
  // One process at a time fetches one archive, whatever data home it
  // installs into; a second install of this locale waits here, then finds
  // it installed. Held until the download is published and deleted.
  StoreLock downloadLock(locations_.downloadsDir() / (entry_.sha256 + ".lock"));
  DownloadRequest request{entry_.url, entry_.size, entry_.sha256,
                          locations_.downloadsDir() / (entry_.sha256 + ".part")};
  // The lock file goes with the download; one kept for a later attempt stays.
  struct LockFileCleanup {
    StoreLock& lock;
    const fs::path& partial;
    ~LockFileCleanup() {
      std::error_code error;
      if (!fs::exists(partial, error) && !error) lock.removeFile();
    }
  } cleanup{downloadLock, request.partial};
  // Another process may have finished this install while we waited.
  if (store.installedModel(locale)) {
    progress_->setFractionCompleted(1.0);
    return;
  }

  // Downloading needs no store lock: releases and other installs go on.
  const double size = static_cast<double>(entry_.size);
  download(request, [&](uint64_t held) {
    // A server that ignores a resume's range starts again from zero; the
    // host's progress waits rather than going back.
    double fraction = static_cast<double>(held) / size;
    if (fraction > progress_->fractionCompleted()) progress_->setFractionCompleted(fraction);
  });

  {
    StoreLock lock(locations_.lockFile());
    store.removeLeftovers();
    // Another data home's process, or a release, may have changed the store.
    if (!store.installedModel(locale)) {
      checkReservationLimit(store, locale);
      TemporaryFolder folder(store.makeTemporaryDir(locale));
      // Without symbolic links in its path, so libarchive's link checks hold.
      fs::path root = fs::canonical(folder.path());
      extractArchive(request.partial, entry_.format, root,
                     ExtractRules{unpackedLimit(entry_.size), {Manifest::fileName}});
      checkParts(root, entry_);
      if (checkLoadable_) {
        // A model the engine cannot load fails here, once, not in every session.
        try {
          checkLoadable_(locale, ModelFiles{root / entry_.acousticModel,
                                            root / entry_.languageModel, root / entry_.dictionary});
        } catch (const std::exception& failure) {
          throw StoreFailure(std::string("the model does not load: ") + failure.what());
        }
      }
      Manifest manifest{locale.bcp47(),    entry_.url,           entry_.sha256,
                        utcTimestamp(),    entry_.acousticModel, entry_.languageModel,
                        entry_.dictionary, entry_.textEncoding};
      support::writeFileDurably(root / Manifest::fileName, manifest.toJson());
      support::syncTree(root);
      store.publish(root, locale);
      folder.keep();
    }
  }
  ::unlink(request.partial.c_str());
  progress_->setFractionCompleted(1.0);
}

}  // namespace earshot::platform::linuxos::store
