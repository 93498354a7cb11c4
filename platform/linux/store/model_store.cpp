#include "platform/linux/store/model_store.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <system_error>

#include "platform/linux/store/store_failure.h"
#include "platform/linux/store/store_lock.h"
#include "platform/linux/support/durable_files.h"
#include "platform/linux/support/regular_file.h"

namespace earshot::platform::linuxos::store {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kTemporaryPrefix = ".tmp-";

}  // namespace

ModelFiles StoreEntry::files() const {
  return {dir / manifest.acousticModel, dir / manifest.languageModel, dir / manifest.dictionary};
}

bool StoreEntry::complete() const {
  std::error_code error;
  ModelFiles parts = files();
  return fs::is_directory(parts.acousticModel, error) &&
         fs::is_regular_file(parts.languageModel, error) &&
         fs::is_regular_file(parts.dictionary, error);
}

fs::path ModelStore::entryDir(const Locale& locale) const {
  return locations_.modelsDir() / locale.bcp47();
}

std::optional<StoreEntry> ModelStore::readEntry(const fs::path& dir) const {
  std::string name = dir.filename().string();
  if (name.empty() || name.front() == '.') return std::nullopt;
  auto text = support::readRegularFile(dir / Manifest::kFileName, Manifest::kLargestFile);
  if (!text) return std::nullopt;
  auto manifest = Manifest::fromJson(*text);
  if (!manifest) return std::nullopt;
  Locale locale = Locale::fromIdentifier(manifest->locale);
  // A folder renamed by hand does not become another locale's model.
  if (!(locale == Locale::fromIdentifier(name))) return std::nullopt;
  return StoreEntry{locale, dir, std::move(*manifest)};
}

std::vector<StoreEntry> ModelStore::entries() const {
  std::vector<StoreEntry> found;
  std::error_code error;
  for (const auto& item : fs::directory_iterator(locations_.modelsDir(), error)) {
    if (!item.is_directory(error)) continue;
    if (auto entry = readEntry(item.path())) found.push_back(std::move(*entry));
  }
  std::sort(found.begin(), found.end(), [](const StoreEntry& a, const StoreEntry& b) {
    return a.locale.bcp47() < b.locale.bcp47();
  });
  return found;
}

std::optional<StoreEntry> ModelStore::entry(const Locale& locale) const {
  return readEntry(entryDir(locale));
}

std::optional<ModelFiles> ModelStore::installedModel(const Locale& locale) const {
  auto found = entry(locale);
  if (!found || !found->complete()) return std::nullopt;
  return found->files();
}

std::vector<Locale> ModelStore::installedLocales() const {
  std::vector<Locale> locales;
  for (const auto& entry : entries()) {
    if (entry.complete()) locales.push_back(entry.locale);
  }
  return locales;
}

std::vector<Locale> ModelStore::reservedLocales() const {
  std::vector<Locale> locales;
  for (const auto& entry : entries()) locales.push_back(entry.locale);
  return locales;
}

void ModelStore::removeLeftovers() const {
  std::error_code error;
  for (const auto& item : fs::directory_iterator(locations_.modelsDir(), error)) {
    if (item.path().filename().string().starts_with(kTemporaryPrefix)) {
      std::error_code ignored;
      fs::remove_all(item.path(), ignored);
    }
  }
  // A process killed between publishing and deleting its downloads left
  // them in the cache; unless someone is at them now, they go.
  for (const auto& entry : entries()) {
    std::vector<std::string> digests = entry.manifest.downloads;
    digests.push_back(entry.manifest.sha256);
    for (const std::string& digest : digests) {
      if (digest.size() != 64 ||
          digest.find_first_not_of("0123456789abcdef") != std::string::npos) {
        continue;
      }
      fs::path partial = locations_.downloadsDir() / (digest + ".part");
      if (!fs::exists(fs::symlink_status(partial, error))) continue;
      if (auto lock = StoreLock::tryTake(locations_.downloadsDir() / (digest + ".lock"))) {
        ::unlink(partial.c_str());
        lock->removeFile();
      }
    }
  }
}

fs::path ModelStore::makeTemporaryDir(const Locale& locale) const {
  std::error_code error;
  fs::create_directories(locations_.modelsDir(), error);
  if (error) {
    throw StoreFailure("cannot create " + locations_.modelsDir().string() + ": " + error.message());
  }
  std::string pattern =
      (locations_.modelsDir() / (std::string(kTemporaryPrefix) + locale.bcp47() + "-XXXXXX"))
          .string();
  if (::mkdtemp(pattern.data()) == nullptr) failWithErrno("cannot create a folder in the store");
  return pattern;
}

void ModelStore::moveAsideAndDelete(const fs::path& dir, const Locale& locale) const {
  // Renamed first so that the locale disappears at once, whole; a crash
  // during the deletion leaves only a temporary folder.
  std::string aside = (locations_.modelsDir() /
                       (std::string(kTemporaryPrefix) + "old-" + locale.bcp47() + "-XXXXXX"))
                          .string();
  if (::mkdtemp(aside.data()) == nullptr) failWithErrno("cannot create a folder in the store");
  if (::rename(dir.c_str(), aside.c_str()) != 0) {
    int failure = errno;
    ::rmdir(aside.c_str());
    failWithErrno("cannot remove " + dir.string(), failure);
  }
  support::syncDirectory(locations_.modelsDir());
  std::error_code ignored;
  fs::remove_all(aside, ignored);
}

void ModelStore::publish(const fs::path& temporary, const Locale& locale) const {
  fs::path target = entryDir(locale);
  std::error_code error;
  if (fs::exists(fs::symlink_status(target, error))) moveAsideAndDelete(target, locale);
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    failWithErrno("cannot move the model into " + target.string());
  }
  support::syncDirectory(locations_.modelsDir());
}

bool ModelStore::removeEntry(const Locale& locale) const {
  if (!entry(locale)) return false;
  moveAsideAndDelete(entryDir(locale), locale);
  return true;
}

}  // namespace earshot::platform::linuxos::store
