#pragma once

#include <filesystem>

#include "platform/linux/store/archive_format.h"

namespace earshot::platform::linuxos::store {

// Unpacks `archive` into the existing, empty folder `into` (an absolute
// path without symbolic links) with libarchive, on the calling thread.
// Refuses, before writing it, any entry with an absolute path or a ".."
// component, any device, fifo or socket, and any link that leads out of
// the folder. Throws StoreFailure; what was written stays in `into` for the
// caller to discard.
void extractArchive(const std::filesystem::path& archive, ArchiveFormat format,
                    const std::filesystem::path& into);

}  // namespace earshot::platform::linuxos::store
