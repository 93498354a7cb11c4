#include "platform/linux/store/store_installation_request.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <system_error>

#include "platform/linux/store/archive_extract.h"
#include "platform/linux/store/download.h"
#include "platform/linux/store/manifest.h"
#include "platform/linux/store/model_preparation.h"
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

// An archive's parts are checked as unpacked; those of a model of several
// files were assembled under their prepared names.
void checkParts(const fs::path& root, const PreparedParts& parts) {
  std::error_code error;
  if (!fs::is_directory(root / parts.acousticModel, error)) {
    throw StoreFailure("the archive has no acoustic model folder \"" + parts.acousticModel + "\"");
  }
  if (!fs::is_regular_file(root / parts.languageModel, error)) {
    throw StoreFailure("the archive has no language model \"" + parts.languageModel + "\"");
  }
  if (!fs::is_regular_file(root / parts.dictionary, error)) {
    throw StoreFailure("the archive has no dictionary \"" + parts.dictionary + "\"");
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
                                                   ModelLoadCheck checkLoadable,
                                                   LanguageModelConversion convertLanguageModel)
    : locations_(std::move(locations)),
      entry_(std::move(entry)),
      isSystemModel_(std::move(isSystemModel)),
      checkLoadable_(std::move(checkLoadable)),
      convertLanguageModel_(std::move(convertLanguageModel)) {}

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
  const std::vector<Download> downloads = entry_.downloads();
  auto partialOf = [&](const Download& download) {
    return locations_.downloadsDir() / (download.sha256 + ".part");
  };
  // One process at a time fetches one download, whatever data home it
  // installs into; a second install of this locale waits here, then finds
  // it installed. The locks are taken in the order of their checksums, so
  // two models that share files never wait for each other in a circle, and
  // held until the downloads are published and deleted.
  std::vector<const Download*> byDigest;
  for (const auto& download : downloads) byDigest.push_back(&download);
  std::sort(byDigest.begin(), byDigest.end(),
            [](const Download* a, const Download* b) { return a->sha256 < b->sha256; });
  std::vector<std::unique_ptr<StoreLock>> downloadLocks;
  // A lock file goes with its download; one kept for a later attempt stays.
  struct LockFileCleanup {
    std::vector<std::unique_ptr<StoreLock>>& locks;
    std::vector<fs::path> partials;
    ~LockFileCleanup() {
      for (size_t i = 0; i < locks.size(); ++i) {
        std::error_code error;
        if (!fs::exists(partials[i], error) && !error) locks[i]->removeFile();
      }
    }
  } cleanup{downloadLocks, {}};
  for (const Download* download : byDigest) {
    fs::path lockFile = locations_.downloadsDir() / (download->sha256 + ".lock");
    downloadLocks.push_back(std::make_unique<StoreLock>(lockFile));
    cleanup.partials.push_back(partialOf(*download));
  }
  // Another process may have finished this install while we waited.
  if (store.installedModel(locale)) {
    progress_->setFractionCompleted(1.0);
    return;
  }

  // Downloading needs no store lock: releases and other installs go on. The
  // files of a model share one deadline, that of their bytes together.
  const uint64_t total = entry_.downloadSize();
  const auto deadline = std::chrono::steady_clock::now() + downloadDeadline(total);
  uint64_t before = 0;  // bytes of the downloads done
  for (const Download& download : downloads) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    DownloadRequest request{download.url, download.size, download.sha256, partialOf(download),
                            std::max(left, std::chrono::milliseconds(1))};
    store::download(request, [&](uint64_t held) {
      // A server that ignores a resume's range starts again from zero; the
      // host's progress waits rather than going back.
      double fraction = static_cast<double>(before + held) / static_cast<double>(total);
      if (fraction > progress_->fractionCompleted()) progress_->setFractionCompleted(fraction);
    });
    before += download.size;
  }

  {
    StoreLock lock(locations_.lockFile());
    store.removeLeftovers();
    // Another data home's process, or a release, may have changed the store.
    if (!store.installedModel(locale)) {
      checkReservationLimit(store, locale);
      TemporaryFolder folder(store.makeTemporaryDir(locale));
      // Without symbolic links in its path, so libarchive's link checks hold.
      fs::path root = fs::canonical(folder.path());
      if (entry_.fileByFile()) {
        assembleFiles(entry_, locations_.downloadsDir(), root);
      } else {
        extractArchive(partialOf(downloads.front()), entry_.format, root,
                       ExtractRules{unpackedLimit(entry_.size), {Manifest::kFileName}});
      }
      auto named = [&](const std::string& path) {
        return entry_.fileByFile() ? preparedPath(path) : path;
      };
      checkParts(root, PreparedParts{entry_.acousticModel, named(entry_.languageModel),
                                     named(entry_.dictionary)});
      PreparedParts parts = prepareModel(entry_, root, convertLanguageModel_);
      if (checkLoadable_) {
        // A model the engine cannot load fails here, once, not in every session.
        try {
          checkLoadable_(locale, ModelFiles{root / parts.acousticModel, root / parts.languageModel,
                                            root / parts.dictionary});
        } catch (const std::exception& failure) {
          throw StoreFailure(std::string("the model does not load: ") + failure.what());
        }
      }
      Manifest manifest{locale.bcp47(),   downloads.front().url, entry_.identity(),
                        utcTimestamp(),   parts.acousticModel,   parts.languageModel,
                        parts.dictionary, entry_.textEncoding};
      if (entry_.fileByFile()) {
        for (const auto& download : downloads) manifest.downloads.push_back(download.sha256);
      }
      support::writeFileDurably(root / Manifest::kFileName, manifest.toJson());
      support::syncTree(root);
      store.publish(root, locale);
      folder.keep();
    }
  }
  for (const auto& download : downloads) ::unlink(partialOf(download).c_str());
  progress_->setFractionCompleted(1.0);
}

}  // namespace earshot::platform::linuxos::store
