#pragma once

#include <archive.h>

#include <memory>
#include <string>

namespace earshot::platform::linuxos::store {

// A libarchive handle that frees itself.
using Archive = std::unique_ptr<archive, int (*)(archive*)>;

// libarchive's own words for the last failure of `a`.
inline std::string archiveError(archive* a) {
  const char* text = archive_error_string(a);
  return text != nullptr ? text : "unknown error";
}

}  // namespace earshot::platform::linuxos::store
