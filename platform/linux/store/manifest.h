#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::platform::linuxos::store {

// The small file that marks a store entry complete. It is written last,
// inside the temporary folder, before the folder is renamed into place.
struct Manifest {
  std::string locale;       // BCP 47
  std::string url;          // the archive's, or the first file's
  std::string sha256;       // CatalogEntry::identity()
  std::string installedAt;  // UTC, ISO 8601
  // Contained relative paths of the engine's parts inside the entry.
  std::string acousticModel;
  std::string languageModel;
  std::string dictionary;
  // The encoding of the model's words; empty (and not written) for UTF-8.
  std::string textEncoding = {};
  // The SHA-256 of each download a model of several files was made from;
  // empty (and not written) for an archive, which `sha256` names.
  std::vector<std::string> downloads = {};

  static constexpr const char* kFileName = "manifest.json";
  // A manifest is a few hundred bytes; a larger file is not one.
  static constexpr size_t kLargestFile = 65536;

  std::string toJson() const;
  // nullopt when the text is not a complete manifest.
  static std::optional<Manifest> fromJson(std::string_view json);
};

// The current time as "2024-05-01T12:00:00Z".
std::string utcTimestamp();

}  // namespace earshot::platform::linuxos::store
