#pragma once

#include <filesystem>
#include <string_view>

namespace earshot::platform::linuxos::support {

// Creates `file`, which must not exist yet (not even as a symbolic link),
// with `contents`, and flushes it to disk. Throws FileFailure.
void writeFileDurably(const std::filesystem::path& file, std::string_view contents);

// Replaces `file` whole with `contents`: a temporary file of a name no other
// writer has, in the same folder, written durably and renamed over `file`,
// then the folder flushed. Readers, and other processes replacing it at
// the same time, see one whole file, never a mix. The folder must exist.
// Throws FileFailure; no temporary file is left behind.
void replaceFileDurably(const std::filesystem::path& file, std::string_view contents);

// Flushes every file and folder below `root`, and `root` itself, to disk,
// so that a rename that publishes `root` never exposes missing data.
// Throws FileFailure.
void syncTree(const std::filesystem::path& root);

// Flushes a folder's entries (after a rename or removal inside it).
void syncDirectory(const std::filesystem::path& dir);

}  // namespace earshot::platform::linuxos::support
