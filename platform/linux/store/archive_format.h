#pragma once

#include <optional>
#include <string_view>

namespace earshot::platform::linuxos::store {

enum class ArchiveFormat { tar, tarGzip, tarXz, tarBzip2, tarZstd, zip };

// The catalog's names: "tar", "tar.gz", "tar.xz", "tar.bz2", "tar.zst", "zip".
inline std::optional<ArchiveFormat> archiveFormatNamed(std::string_view name) {
  if (name == "tar") return ArchiveFormat::tar;
  if (name == "tar.gz") return ArchiveFormat::tarGzip;
  if (name == "tar.xz") return ArchiveFormat::tarXz;
  if (name == "tar.bz2") return ArchiveFormat::tarBzip2;
  if (name == "tar.zst") return ArchiveFormat::tarZstd;
  if (name == "zip") return ArchiveFormat::zip;
  return std::nullopt;
}

}  // namespace earshot::platform::linuxos::store
