#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace earshot::platform::linuxos::store {

// What writeJoinedFile() read and wrote.
struct JoinedFile {
  bool decompressed = false;  // the bytes were gzip
  std::string sha256;         // of the bytes read, joined
  uint64_t bytesWritten = 0;
};

// Writes the bytes of `sources`, joined in order, into the new file `target`
// (created, never through a link), decompressed when they are gzip, which
// is told by their first bytes, not by a name. More than `maximumBytes`
// written fails. `name` is how failures name the file. Throws StoreFailure;
// a part of `target` written before a failure stays for the caller to
// discard.
JoinedFile writeJoinedFile(const std::vector<std::filesystem::path>& sources,
                           const std::filesystem::path& target, uint64_t maximumBytes,
                           const std::string& name);

}  // namespace earshot::platform::linuxos::store
