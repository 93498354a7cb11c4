#include "platform/linux/store/joined_file.h"

#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/linux/store/libarchive_reader.h"
#include "platform/linux/store/store_failure.h"
#include "platform/linux/support/sha256.h"

namespace earshot::platform::linuxos::store {
namespace fs = std::filesystem;
namespace {

constexpr size_t kBlockBytes = 1 << 20;

// The sources as one stream for libarchive, hashed as they are read.
struct JoinedSources {
  const std::vector<fs::path>* files = nullptr;
  size_t next = 0;
  int fd = -1;
  std::vector<char> buffer = std::vector<char>(kBlockBytes);
  support::Sha256 hash;
};

la_ssize_t readJoined(archive* reader, void* data, const void** block) {
  auto& joined = *static_cast<JoinedSources*>(data);
  for (;;) {
    if (joined.fd < 0) {
      if (joined.next == joined.files->size()) return 0;
      const fs::path& file = (*joined.files)[joined.next++];
      joined.fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
      if (joined.fd < 0) {
        archive_set_error(reader, errno, "cannot read %s", file.c_str());
        return -1;
      }
    }
    ssize_t got = ::read(joined.fd, joined.buffer.data(), joined.buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      archive_set_error(reader, errno, "cannot read a download");
      return -1;
    }
    if (got == 0) {
      ::close(joined.fd);
      joined.fd = -1;
      continue;
    }
    joined.hash.update(joined.buffer.data(), static_cast<size_t>(got));
    *block = joined.buffer.data();
    return got;
  }
}

int closeJoined(archive*, void* data) {
  auto& joined = *static_cast<JoinedSources*>(data);
  if (joined.fd >= 0) ::close(joined.fd);
  joined.fd = -1;
  return ARCHIVE_OK;
}

class OutputFile {
 public:
  OutputFile(const fs::path& file, const std::string& name)
      : fd_(::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644)),
        name_(name) {
    if (fd_ < 0) failWithErrno("cannot write \"" + name_ + "\"");
  }
  ~OutputFile() { ::close(fd_); }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const char* data, size_t size) {
    while (size > 0) {
      ssize_t wrote = ::write(fd_, data, size);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) failWithErrno("cannot write \"" + name_ + "\"", wrote < 0 ? errno : ENOSPC);
      data += wrote;
      size -= static_cast<size_t>(wrote);
    }
  }

 private:
  int fd_;
  std::string name_;
};

}  // namespace

JoinedFile writeJoinedFile(const std::vector<fs::path>& sources, const fs::path& target,
                           uint64_t maximumBytes, const std::string& name) {
  JoinedSources joined;
  joined.files = &sources;
  Archive reader(archive_read_new(), &archive_read_free);
  if (!reader) throw std::bad_alloc();
  // The raw "format" passes the bytes through; the gzip filter takes them
  // only when they start like gzip.
  archive_read_support_filter_gzip(reader.get());
  archive_read_support_format_raw(reader.get());
  auto damaged = [&] {
    return StoreFailure("cannot prepare \"" + name + "\": " + archiveError(reader.get()));
  };
  if (archive_read_open2(reader.get(), &joined, nullptr, &readJoined, nullptr, &closeJoined) !=
      ARCHIVE_OK) {
    throw damaged();
  }
  JoinedFile result;
  OutputFile out(target, name);
  archive_entry* entry = nullptr;
  int status = archive_read_next_header(reader.get(), &entry);
  if (status != ARCHIVE_EOF) {
    if (status < ARCHIVE_WARN) throw damaged();
    result.decompressed = archive_filter_code(reader.get(), 0) == ARCHIVE_FILTER_GZIP;
    std::vector<char> block(kBlockBytes);
    for (;;) {
      la_ssize_t got = archive_read_data(reader.get(), block.data(), block.size());
      if (got < 0) throw damaged();
      if (got == 0) break;
      result.bytesWritten += static_cast<uint64_t>(got);
      if (result.bytesWritten > maximumBytes) {
        throw StoreFailure("\"" + name + "\" unpacks to more than " + std::to_string(maximumBytes) +
                           " bytes, the most a file of its size may take");
      }
      out.write(block.data(), static_cast<size_t>(got));
    }
  }
  // The checksum covers every byte, those after the end of the gzip data too.
  const void* rest = nullptr;
  while (readJoined(reader.get(), &joined, &rest) > 0) {
  }
  archive_read_close(reader.get());
  result.sha256 = joined.hash.hexDigest();
  return result;
}

}  // namespace earshot::platform::linuxos::store
