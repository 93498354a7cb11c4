#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/store/archive_format.h"
#include "platform/linux/store/store_locations.h"
#include "platform/locale.h"

namespace earshot::platform::linuxos::store {

// One downloadable model: where it is, what it must be, and where the
// engine's parts lie inside its archive (contained relative paths).
struct CatalogEntry {
  Locale locale;
  std::string url;  // https, http or file
  uint64_t size = 0;
  std::string sha256;  // 64 lower-case hex digits
  ArchiveFormat format = ArchiveFormat::tarGzip;
  std::string acousticModel;  // a folder
  std::string languageModel;  // a file
  std::string dictionary;     // a file
};

// The catalog files, merged: one entry per locale. Files are read least
// important first (system folders from the last of $XDG_DATA_DIRS to the
// first, then the user's folder; within a folder by file name), and a later
// entry for a locale replaces an earlier one, so the user's catalog wins.
class Catalog {
 public:
  static Catalog load(const StoreLocations& locations);
  // The entries of one catalog file's text; nullopt when the text is
  // malformed in any way (such a file is skipped whole).
  static std::optional<std::vector<CatalogEntry>> parse(std::string_view json);

  // Sorted by BCP 47 identifier.
  const std::vector<CatalogEntry>& entries() const { return entries_; }
  const CatalogEntry* find(const Locale& locale) const;

  void add(CatalogEntry entry);

 private:
  std::vector<CatalogEntry> entries_;
};

}  // namespace earshot::platform::linuxos::store
