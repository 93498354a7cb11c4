#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/linux/store/catalog.h"

namespace earshot::platform::linuxos::store {

// Writes the engine's binary form of the ARPA language model `arpa` into
// the new file `binary`; throws an exception whose text says why not.
using LanguageModelConversion =
    std::function<void(const std::filesystem::path& arpa, const std::filesystem::path& binary)>;

// Where the engine's parts lie in a prepared model (contained paths).
struct PreparedParts {
  std::string acousticModel;
  std::string languageModel;
  std::string dictionary;
};

// Writes the files of a model published file by file into the empty folder
// `root` (an absolute path without symbolic links) from their downloads in
// `downloadsDir` ("<sha256>.part"): parts joined, gzip removed (a file named
// ".gz" loses the suffix, and must be gzip), each file's own checksum
// checked when the catalog gives one. Throws StoreFailure.
void assembleFiles(const CatalogEntry& entry, const std::filesystem::path& downloadsDir,
                   const std::filesystem::path& root);

// Readies the language model and dictionary of the model in `root` for the
// engine: gzip is removed (an archive's ".gz" parts, or parts that start
// like gzip), an ARPA language model becomes the engine's binary form with
// `convert` (kept as text without it), and the dictionary must be text in
// the entry's encoding. Throws StoreFailure. The returned paths are the
// parts' names after all that.
PreparedParts prepareModel(const CatalogEntry& entry, const std::filesystem::path& root,
                           const LanguageModelConversion& convert);

}  // namespace earshot::platform::linuxos::store
