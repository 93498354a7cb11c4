#include "platform/linux/store/model_preparation.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <array>
#include <system_error>

#include "platform/linux/store/archive_extract.h"
#include "platform/linux/store/joined_file.h"
#include "platform/linux/store/store_failure.h"
#include "platform/linux/support/text_encoding.h"

namespace earshot::platform::linuxos::store {
namespace fs = std::filesystem;
namespace {

// Preparation writes here first and renames into place (created new: a
// model that has a file of this name fails).
constexpr const char* kWorkFile = ".earshot-prepared";

// The first bytes of `file` (fewer when it is shorter).
std::string head(const fs::path& file, size_t bytes) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) failWithErrno("cannot read " + file.string());
  std::string text(bytes, '\0');
  size_t held = 0;
  while (held < bytes) {
    ssize_t got = ::read(fd, text.data() + held, bytes - held);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    held += static_cast<size_t>(got);
  }
  ::close(fd);
  text.resize(held);
  return text;
}

bool startsLikeGzip(const fs::path& file) {
  return head(file, 2) == "\x1f\x8b";
}

// An ARPA model says "\data\" on a line of its own, after at most some
// lines of comment; the engine's binary forms start with their own names.
bool isArpaText(const fs::path& file) {
  std::string start = head(file, 1 << 16);
  if (start.starts_with("Trie Language Model")) return false;
  return start.starts_with("\\data\\") || start.find("\n\\data\\") != std::string::npos;
}

// "base_language_model.txt" -> "base_language_model.lm.bin".
std::string binaryName(std::string path) {
  for (std::string_view suffix : {".txt", ".arpa", ".lm"}) {
    if (path.ends_with(suffix) && path.size() > suffix.size()) {
      path.resize(path.size() - suffix.size());
      break;
    }
  }
  return path + ".lm.bin";
}

void renameInto(const fs::path& from, const fs::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) failWithErrno("cannot write " + to.string());
}

void removeFile(const fs::path& file) {
  if (::unlink(file.c_str()) != 0) failWithErrno("cannot remove " + file.string());
}

// Decompresses one gzip part of an unpacked archive in place; returns its
// new name.
std::string gunzipInPlace(const fs::path& root, const std::string& path) {
  bool named = preparedPath(path) != path;
  if (!named && !startsLikeGzip(root / path)) return path;
  std::error_code error;
  uint64_t size = fs::file_size(root / path, error);
  if (error) throw StoreFailure("cannot read \"" + path + "\": " + error.message());
  JoinedFile written = writeJoinedFile({root / path}, root / kWorkFile, unpackedLimit(size), path);
  if (!written.decompressed) {
    throw StoreFailure("\"" + path + "\" is named .gz but is not gzip data");
  }
  std::string prepared = preparedPath(path);
  renameInto(root / kWorkFile, root / prepared);
  if (named) removeFile(root / path);
  return prepared;
}

}  // namespace

void assembleFiles(const CatalogEntry& entry, const fs::path& downloadsDir, const fs::path& root) {
  for (const CatalogFile& file : entry.files) {
    std::vector<fs::path> sources;
    for (const Download& part : file.parts)
      sources.push_back(downloadsDir / (part.sha256 + ".part"));
    fs::path target = root / preparedPath(file.path);
    std::error_code error;
    fs::create_directories(target.parent_path(), error);
    if (error) throw StoreFailure("cannot write \"" + file.path + "\": " + error.message());
    JoinedFile written = writeJoinedFile(sources, target, unpackedLimit(file.size), file.path);
    if (preparedPath(file.path) != file.path && !written.decompressed) {
      throw StoreFailure("\"" + file.path + "\" is named .gz but is not gzip data");
    }
    if (!file.sha256.empty() && written.sha256 != file.sha256) {
      throw StoreFailure("\"" + file.path + "\" joined from its parts has SHA-256 " +
                         written.sha256 + " where the catalog gives " + file.sha256);
    }
  }
}

PreparedParts prepareModel(const CatalogEntry& entry, const fs::path& root,
                           const LanguageModelConversion& convert) {
  PreparedParts parts{entry.acousticModel, entry.languageModel, entry.dictionary};
  if (entry.fileByFile()) {
    // Assembling removed the gzip already.
    parts.languageModel = preparedPath(parts.languageModel);
    parts.dictionary = preparedPath(parts.dictionary);
  } else {
    parts.languageModel = gunzipInPlace(root, parts.languageModel);
    parts.dictionary = gunzipInPlace(root, parts.dictionary);
  }

  // The engine reads an ARPA text slowly and with much memory on every
  // load; its binary form once converted loads at once.
  if (convert && isArpaText(root / parts.languageModel)) {
    std::string binary = binaryName(parts.languageModel);
    try {
      convert(root / parts.languageModel, root / kWorkFile);
    } catch (const std::exception& failure) {
      throw StoreFailure("the language model \"" + parts.languageModel +
                         "\" cannot be converted: " + failure.what());
    }
    renameInto(root / kWorkFile, root / binary);
    if (binary != parts.languageModel) removeFile(root / parts.languageModel);
    parts.languageModel = binary;
  }

  if (auto problem = support::textFileProblem(root / parts.dictionary, entry.textEncoding)) {
    throw StoreFailure("the dictionary \"" + parts.dictionary + "\" is not " +
                       (entry.textEncoding.empty() ? std::string("UTF-8") : entry.textEncoding) +
                       " text: " + *problem);
  }
  return parts;
}

}  // namespace earshot::platform::linuxos::store
