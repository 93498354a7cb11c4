#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace earshot::platform::linuxos::store {

// The small file that marks a store entry complete. It is written last,
// inside the temporary folder, before the folder is renamed into place.
struct Manifest {
  std::string locale;  // BCP 47
  std::string url;
  std::string sha256;
  std::string installedAt;  // UTC, ISO 8601
  // Contained relative paths of the engine's parts inside the entry.
  std::string acousticModel;
  std::string languageModel;
  std::string dictionary;
  // The encoding of the model's words; empty (and not written) for UTF-8.
  std::string textEncoding = {};

  static constexpr const char* fileName = "manifest.json";
  // A manifest is a few hundred bytes; a larger file is not one.
  static constexpr size_t largestFile = 65536;

  std::string toJson() const;
  // nullopt when the text is not a complete manifest.
  static std::optional<Manifest> fromJson(std::string_view json);
};

// The current time as "2024-05-01T12:00:00Z".
std::string utcTimestamp();

}  // namespace earshot::platform::linuxos::store
