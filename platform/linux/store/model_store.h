#pragma once

#include <filesystem>
#include <optional>
#include <vector>

#include "platform/linux/store/manifest.h"
#include "platform/linux/support/store_locations.h"
#include "platform/locale.h"

namespace earshot::platform::linuxos::store {

// The engine's parts of one installed model, as absolute paths.
struct ModelFiles {
  std::filesystem::path acousticModel;  // folder
  std::filesystem::path languageModel;
  std::filesystem::path dictionary;
};

// One folder of the store with a readable manifest.
struct StoreEntry {
  Locale locale;
  std::filesystem::path dir;
  Manifest manifest;

  ModelFiles files() const;
  // Whether the parts the manifest names are all there.
  bool complete() const;
};

// The downloaded models: $XDG_DATA_HOME/earshot/models/<bcp47>/. A folder
// there is an entry only once its manifest is in it, which happens in one
// rename of a finished temporary folder; every entry is a reserved locale
// until it is released. Temporary folders start with ".tmp-" and are never
// entries. Reading needs no lock; changing needs the StoreLock.
class ModelStore {
 public:
  explicit ModelStore(support::StoreLocations locations) : locations_(std::move(locations)) {}

  const support::StoreLocations& locations() const { return locations_; }

  // Entries with a manifest, sorted by BCP 47 identifier.
  std::vector<StoreEntry> entries() const;
  std::optional<StoreEntry> entry(const Locale& locale) const;
  // The parts of the complete entry of `locale`, or nullopt.
  std::optional<ModelFiles> installedModel(const Locale& locale) const;
  std::vector<Locale> installedLocales() const;
  std::vector<Locale> reservedLocales() const;

  // The rest changes the store: hold the StoreLock.

  // Removes the temporary folders that an interrupted install or release
  // left behind, and the cached downloads of installed entries that an
  // install killed after publishing left (unless an install holds them).
  void removeLeftovers() const;
  // A new empty temporary folder in the models folder (so that publishing
  // it is a rename within one file system).
  std::filesystem::path makeTemporaryDir(const Locale& locale) const;
  // Renames a finished temporary folder into place as the entry of
  // `locale`, replacing any incomplete folder of that name.
  void publish(const std::filesystem::path& temporary, const Locale& locale) const;
  // Takes the folder of `locale` out of the store in one rename, then
  // deletes it; whether there was an entry.
  bool removeEntry(const Locale& locale) const;

 private:
  std::filesystem::path entryDir(const Locale& locale) const;
  std::optional<StoreEntry> readEntry(const std::filesystem::path& dir) const;
  void moveAsideAndDelete(const std::filesystem::path& dir, const Locale& locale) const;

  support::StoreLocations locations_;
};

}  // namespace earshot::platform::linuxos::store
