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

// One download: where it is and what its bytes must be.
struct Download {
  std::string url;  // https, http or file
  uint64_t size = 0;
  std::string sha256;  // 64 lower-case hex digits
};

// One file of a model published file by file: where it goes in the model
// folder and the downloads that make it, one or several parts joined in
// order.
struct CatalogFile {
  std::string path;  // contained relative path
  std::vector<Download> parts;
  uint64_t size = 0;   // of the joined file
  std::string sha256;  // of the joined file; empty when only its parts have one
};

// One downloadable model: where it is, what it must be, and where the
// engine's parts lie inside it (contained relative paths). It is one
// archive (`url`, `size`, `sha256`, `format`), or, when `files` is not
// empty, several files, and the three paths name files of that list (the
// acoustic model a folder above some of them).
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
  std::vector<CatalogFile> files = {};

  bool fileByFile() const { return !files.empty(); }
  // Every download the install fetches, each content once, in catalog order.
  std::vector<Download> downloads() const;
  // Their bytes in all.
  uint64_t downloadSize() const;
  // The archive's SHA-256, or for a model of several files, the SHA-256 of
  // its list of files (paths, sizes and checksums).
  std::string identity() const;
};

// A model of several files may list this many downloads (files and parts
// together), and they may add up to this many bytes.
inline constexpr size_t kMaximumEntryDownloads = 1000;
inline constexpr uint64_t kMaximumEntryBytes = uint64_t{4} << 30;

// The name a file of a model has once prepared: without ".gz" (it is
// stored uncompressed).
std::string preparedPath(const std::string& path);

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
