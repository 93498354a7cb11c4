#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace earshot::platform::linuxos::support {

// Whether a symbolic link in place of the file is followed. Files in folders
// the user writes (state, catalogs, manifests) are never reached through a
// link; a model's files may be links, as the engine reads them anyway.
enum class Links { refuse, follow };

// Reads `file` in pieces handed to `piece`, when it is a regular file of at
// most `largest` bytes, until its end or until `piece` answers false (it
// has read enough). Opening never blocks and never follows a link unless
// asked: a FIFO, a device, a socket, a directory or (by default) a symbolic
// link is refused like a file that is missing, as is one that grows past
// `largest` while it is read. False then; `piece` may have seen part of it.
bool readRegularFile(const std::filesystem::path& file, size_t largest,
                     const std::function<bool(std::string_view)>& piece,
                     Links links = Links::refuse);

// The whole text of such a file, or nullopt.
std::optional<std::string> readRegularFile(const std::filesystem::path& file, size_t largest,
                                           Links links = Links::refuse);

}  // namespace earshot::platform::linuxos::support
