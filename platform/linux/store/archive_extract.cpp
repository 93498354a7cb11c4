#include "platform/linux/store/archive_extract.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

#include "platform/linux/store/libarchive_reader.h"
#include "platform/linux/store/safe_path.h"
#include "platform/linux/store/store_failure.h"

namespace earshot::platform::linuxos::store {
namespace fs = std::filesystem;
namespace {

// The writer's failures are system errors (a full disk), whose own text
// says more than libarchive's summary.
std::string writeError(archive* writer) {
  if (int error = archive_errno(writer); error > 0) return std::strerror(error);
  return archiveError(writer);
}

// The container comes from the catalog; the compression is read from the
// content, since archives are published under names that do not match it
// (xz data named ".tar.gz").
void allowFormat(archive* reader, ArchiveFormat format) {
  if (format == ArchiveFormat::zip) {
    archive_read_support_format_zip(reader);
    return;
  }
  archive_read_support_filter_gzip(reader);
  archive_read_support_filter_xz(reader);
  archive_read_support_filter_bzip2(reader);
  archive_read_support_filter_zstd(reader);
  archive_read_support_format_tar(reader);
}

std::string entryName(archive_entry* entry) {
  const char* name = archive_entry_pathname_utf8(entry);
  if (name == nullptr) name = archive_entry_pathname(entry);
  return name != nullptr ? name : "";
}

[[noreturn]] void refuse(const std::string& name, const std::string& why) {
  throw StoreFailure("the archive entry \"" + name + "\" " + why);
}

// Checks one entry and points it below `into`; returns false for an entry
// that names the folder itself (nothing to write).
bool placeEntry(archive_entry* entry, const fs::path& into, const ExtractRules& rules) {
  std::string name = entryName(entry);
  auto contained = containedPath(name);
  if (!contained) {
    if (!name.empty() && name.front() != '/' && name.find("..") == std::string::npos) {
      return false;  // "." or "./"
    }
    refuse(name, "leaves the model folder");
  }
  std::string top = contained->substr(0, contained->find('/'));
  if (std::find(rules.reservedNames.begin(), rules.reservedNames.end(), top) !=
      rules.reservedNames.end()) {
    refuse(name, "has a name the store keeps for itself");
  }
  if (const char* hardlink = archive_entry_hardlink(entry)) {
    auto target = containedPath(hardlink);
    if (!target) refuse(name, "links to a file outside the model folder");
    archive_entry_set_hardlink(entry, (into / *target).c_str());
  } else {
    switch (archive_entry_filetype(entry)) {
      case AE_IFREG:
        archive_entry_set_perm(entry, (archive_entry_perm(entry) & 0111) ? 0755 : 0644);
        break;
      case AE_IFDIR:
        archive_entry_set_perm(entry, 0755);
        break;
      case AE_IFLNK: {
        const char* target = archive_entry_symlink(entry);
        if (target == nullptr || !linkStaysInside(*contained, target)) {
          refuse(name, "links to a place outside the model folder");
        }
        break;
      }
      default:
        refuse(name, "is a device, fifo or socket");
    }
  }
  archive_entry_set_pathname(entry, (into / *contained).c_str());
  return true;
}

Archive openArchive(const fs::path& archivePath, ArchiveFormat format) {
  Archive reader(archive_read_new(), &archive_read_free);
  if (!reader) throw std::bad_alloc();
  allowFormat(reader.get(), format);
  if (archive_read_open_filename(reader.get(), archivePath.c_str(), 1 << 20) != ARCHIVE_OK) {
    throw StoreFailure("the archive cannot be read: " + archiveError(reader.get()));
  }
  return reader;
}

// The next entry, or nullptr at the end.
archive_entry* nextEntry(archive* reader) {
  archive_entry* entry;
  int status = archive_read_next_header(reader, &entry);
  if (status == ARCHIVE_EOF) return nullptr;
  if (status < ARCHIVE_WARN) {
    throw StoreFailure("the archive is damaged: " + archiveError(reader));
  }
  return entry;
}

// Calls `use(block, size, offset)` for each data block of the current entry.
template <typename Use>
void forEachBlock(archive* reader, Use use) {
  const void* block;
  size_t size;
  la_int64_t offset;
  for (;;) {
    int status = archive_read_data_block(reader, &block, &size, &offset);
    if (status == ARCHIVE_EOF) return;
    if (status < ARCHIVE_WARN) {
      throw StoreFailure("the archive is damaged: " + archiveError(reader));
    }
    use(block, size, offset);
  }
}

// The end of the data of the current entry, from its blocks (a zip entry
// need not declare its size up front).
uint64_t dataEnd(archive* reader) {
  uint64_t end = 0;
  forEachBlock(reader, [&end](const void*, size_t size, la_int64_t offset) {
    end = std::max(end, static_cast<uint64_t>(offset) + size);
  });
  return end;
}

std::string bytesText(uint64_t bytes) {
  return std::to_string(bytes) + " bytes";
}

// Adds up what the archive's files hold, reading it once without writing.
uint64_t unpackedSize(const fs::path& archivePath, ArchiveFormat format, uint64_t limit) {
  Archive reader = openArchive(archivePath, format);
  uint64_t total = 0;
  while (archive_entry* entry = nextEntry(reader.get())) {
    if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry)) continue;
    uint64_t size = archive_entry_size_is_set(entry)
                        ? static_cast<uint64_t>(std::max<la_int64_t>(archive_entry_size(entry), 0))
                        : dataEnd(reader.get());
    total += size;
    if (total > limit) {
      throw StoreFailure("the archive unpacks to more than " + bytesText(limit) +
                         ", the most a model of its size may take");
    }
  }
  return total;
}

void checkFreeSpace(const fs::path& into, uint64_t needed) {
  struct statvfs space {};
  if (::statvfs(into.c_str(), &space) != 0)
    failWithErrno("cannot read the free space of " + into.string());
  uint64_t free = static_cast<uint64_t>(space.f_bavail) * space.f_frsize;
  if (free < needed) {
    throw StoreFailure("the model needs " + bytesText(needed) + " and " +
                       into.parent_path().string() + " has " + bytesText(free) + " free");
  }
}

// Copies the current entry's data; `budget` is what the archive's files
// may still add up to.
void copyData(archive* reader, archive* writer, const std::string& name, uint64_t& budget) {
  uint64_t end = 0;
  forEachBlock(reader, [&](const void* block, size_t size, la_int64_t offset) {
    uint64_t reach = static_cast<uint64_t>(offset) + size;
    if (reach > end) {
      if (reach - end > budget) {
        throw StoreFailure("the archive unpacks to more than it declared");
      }
      budget -= reach - end;
      end = reach;
    }
    // A failed write is a warning to libarchive, which would go on and
    // leave a hole of zeros: any warning is a failure here.
    if (archive_write_data_block(writer, block, size, offset) != ARCHIVE_OK) {
      throw StoreFailure("cannot write \"" + name + "\": " + writeError(writer));
    }
  });
}

// The file on disk must be as long as the archive says it is.
void checkWrittenSize(archive_entry* entry, const std::string& name) {
  if (archive_entry_filetype(entry) != AE_IFREG || archive_entry_hardlink(entry) ||
      !archive_entry_size_is_set(entry)) {
    return;
  }
  struct stat status {};
  if (::lstat(archive_entry_pathname(entry), &status) != 0)
    failWithErrno("cannot read \"" + name + "\"");
  if (static_cast<la_int64_t>(status.st_size) != archive_entry_size(entry)) {
    throw StoreFailure("cannot write \"" + name + "\": it has " +
                       bytesText(static_cast<uint64_t>(status.st_size)) + " on disk of " +
                       bytesText(static_cast<uint64_t>(archive_entry_size(entry))));
  }
}

// Links inside the archive may chain through each other; check where each
// one really leads now that all are on disk.
void checkLinksOnDisk(const fs::path& into) {
  std::error_code error;
  fs::recursive_directory_iterator walk(into, error), end;
  for (; !error && walk != end; walk.increment(error)) {
    if (!walk->is_symlink(error)) continue;
    fs::path resolved = fs::canonical(walk->path(), error);
    auto [stop, _] = std::mismatch(into.begin(), into.end(), resolved.begin(), resolved.end());
    if (error || stop != into.end()) {
      throw StoreFailure("the archive entry \"" + walk->path().lexically_relative(into).string() +
                         "\" links to a place outside the model folder");
    }
  }
  if (error) throw StoreFailure("cannot read " + into.string() + ": " + error.message());
}

}  // namespace

uint64_t unpackedLimit(uint64_t archiveBytes) {
  if (archiveBytes > kMaximumUnpackedBytes / kUnpackedFactor) return kMaximumUnpackedBytes;
  return std::min(archiveBytes * kUnpackedFactor + kUnpackedAllowance, kMaximumUnpackedBytes);
}

void extractArchive(const fs::path& archivePath, ArchiveFormat format, const fs::path& into,
                    const ExtractRules& rules) {
  uint64_t budget = unpackedSize(archivePath, format, rules.maximumBytes);
  checkFreeSpace(into, budget);
  Archive reader = openArchive(archivePath, format);
  Archive writer(archive_write_disk_new(), &archive_write_free);
  if (!writer) throw std::bad_alloc();
  // Defence in depth behind placeEntry: libarchive's own refusals.
  archive_write_disk_set_options(writer.get(), ARCHIVE_EXTRACT_SECURE_NODOTDOT |
                                                   ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                                   ARCHIVE_EXTRACT_NO_OVERWRITE);
  while (archive_entry* entry = nextEntry(reader.get())) {
    std::string name = entryName(entry);
    if (!placeEntry(entry, into, rules)) continue;
    if (archive_write_header(writer.get(), entry) != ARCHIVE_OK) {
      throw StoreFailure("cannot write \"" + name + "\": " + writeError(writer.get()));
    }
    copyData(reader.get(), writer.get(), name, budget);
    if (archive_write_finish_entry(writer.get()) != ARCHIVE_OK) {
      throw StoreFailure("cannot write \"" + name + "\": " + writeError(writer.get()));
    }
    checkWrittenSize(entry, name);
  }
  if (archive_write_close(writer.get()) != ARCHIVE_OK) {
    throw StoreFailure("cannot finish the model folder: " + writeError(writer.get()));
  }
  checkLinksOnDisk(into);
}

}  // namespace earshot::platform::linuxos::store
