#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/linux/store/archive_format.h"
#include "platform/linux/support/store_locations.h"
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
  // The encoding of the model's words (an ICU converter name); empty: UTF-8.
  std::string textEncoding = {};
};

// What one catalog file may hold; a larger file is skipped like a
// malformed one. A catalog entry takes some 400 bytes.
inline constexpr uint64_t kMaximumCatalogFileBytes = uint64_t{4} << 20;
inline constexpr size_t kMaximumCatalogEntries = 10000;

// The catalog files, merged: one entry per locale. Files are read least
// important first (system folders from the last of $XDG_DATA_DIRS to the
// first, then the user's folder; within a folder by file name), and a later
// entry for a locale replaces an earlier one, so the user's catalog wins.
class Catalog {
 public:
  static Catalog load(const support::StoreLocations& locations);
  // The entries of one catalog file's text; nullopt when the text is
  // malformed in any way, or lists more than maximumCatalogEntries (such a
  // file is skipped whole). A locale must be written as a language tag
  // ("en-GB", or in POSIX form "en_GB") whose BCP 47 form reads back as the
  // same locale, so that no other text is reduced to some locale.
  static std::optional<std::vector<CatalogEntry>> parse(std::string_view json);

  // Sorted by BCP 47 identifier.
  const std::vector<CatalogEntry>& entries() const { return entries_; }
  const CatalogEntry* find(const Locale& locale) const;

 private:
  std::vector<CatalogEntry> entries_;
};

}  // namespace earshot::platform::linuxos::store
