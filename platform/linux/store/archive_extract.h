#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "platform/linux/store/archive_format.h"

namespace earshot::platform::linuxos::store {

// How far an archive may expand: its files may add up to at most
// `kUnpackedFactor` times the archive's size plus `kUnpackedAllowance`, and
// never more than `kMaximumUnpackedBytes`. Models compress by a factor of 1.1
// to 4; an archive that expands further is refused before anything is
// written.
inline constexpr uint64_t kUnpackedFactor = 32;
inline constexpr uint64_t kUnpackedAllowance = uint64_t{1} << 20;
inline constexpr uint64_t kMaximumUnpackedBytes = uint64_t{4} << 30;
uint64_t unpackedLimit(uint64_t archiveBytes);

struct ExtractRules {
  // What the archive's files may add up to.
  uint64_t maximumBytes = std::numeric_limits<uint64_t>::max();
  // Top-level names the archive may not use (the store's own files).
  std::vector<std::string> reservedNames;
};

// Unpacks `archive` into the existing, empty folder `into` (an absolute
// path without symbolic links) with libarchive, on the calling thread.
// First reads the whole archive once to add up its files' sizes: more than
// `rules.maximumBytes`, or more than the free space below `into`, and
// nothing is written. Refuses, before writing it, any entry with an
// absolute path or a ".." component, a reserved name, any device, fifo or
// socket, and any link that leads out of the folder. Every write warning is
// a failure, and each file's size on disk is checked against the archive.
// Throws StoreFailure; what was written stays in `into` for the caller to
// discard.
void extractArchive(const std::filesystem::path& archive, ArchiveFormat format,
                    const std::filesystem::path& into, const ExtractRules& rules = {});

}  // namespace earshot::platform::linuxos::store
