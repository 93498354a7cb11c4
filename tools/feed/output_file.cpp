#include "tools/feed/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace earshot::feed {
namespace {

namespace fs = std::filesystem;

// The temporary files' names, for removeTemporaryFiles(): a fixed table
// of slots that a signal handler can read while the tool runs.
constexpr size_t kSlots = 64;
std::array<std::atomic<char*>, kSlots> temporaries{};

void remember(const fs::path& path) {
  char* copy = ::strdup(path.c_str());
  for (auto& slot : temporaries) {
    char* empty = nullptr;
    if (slot.compare_exchange_strong(empty, copy)) return;
  }
  std::free(copy);  // more outputs than slots: those are only left behind
}

void forget(const fs::path& path) {
  for (auto& slot : temporaries) {
    char* name = slot.load();
    if (name && path == name && slot.compare_exchange_strong(name, nullptr)) {
      std::free(name);
      return;
    }
  }
}

std::string why(int error) {
  return error == ENOSPC ? "the disk is full" : std::strerror(error);
}

}  // namespace

DescriptorBuffer::DescriptorBuffer(int fd, bool ownsFd) : fd_(fd), ownsFd_(ownsFd) {
  setp(buffer_, buffer_ + sizeof buffer_);
}

DescriptorBuffer::~DescriptorBuffer() {
  close();
}

bool DescriptorBuffer::writeOut(const char* data, size_t size) {
  while (size > 0 && error_ == 0) {
    ssize_t written = ::write(fd_, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_ = written < 0 ? errno : EIO;
      break;
    }
    data += written;
    size -= size_t(written);
  }
  return error_ == 0;
}

bool DescriptorBuffer::drain() {
  bool ok = writeOut(pbase(), size_t(pptr() - pbase()));
  setp(buffer_, buffer_ + sizeof buffer_);
  return ok;
}

DescriptorBuffer::int_type DescriptorBuffer::overflow(int_type c) {
  if (!drain()) return traits_type::eof();
  if (!traits_type::eq_int_type(c, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
  }
  return traits_type::not_eof(c);
}

std::streamsize DescriptorBuffer::xsputn(const char* text, std::streamsize count) {
  if (count <= epptr() - pptr()) {
    std::memcpy(pptr(), text, size_t(count));
    pbump(int(count));
    return count;
  }
  if (!drain() || !writeOut(text, size_t(count))) return 0;
  return count;
}

int DescriptorBuffer::sync() {
  return drain() ? 0 : -1;
}

int DescriptorBuffer::close() {
  if (fd_ < 0) return error_;
  drain();
  if (ownsFd_ && ::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  return error_;
}

DescriptorBuffer& standardOutputBuffer() {
  static DescriptorBuffer buffer(STDOUT_FILENO, false);
  return buffer;
}

void checkWritten(std::ostream& out, const std::string& name) {
  out.flush();
  int error = standardOutputBuffer().error();
  if (error != 0) throw OutputError(name + ": cannot be written: " + why(error));
}

OutputFile::OutputFile(fs::path target) : target_(std::move(target)) {
  struct stat status {};
  bool exists = ::stat(target_.c_str(), &status) == 0;
  if (exists && S_ISDIR(status.st_mode)) {
    throw OutputError(target_.string() + ": a directory, not a file to write");
  }
  // A symbolic link (/dev/stdout, a link the person keeps) is written
  // through, never replaced by a file of its own.
  struct stat link {};
  bool isLink = ::lstat(target_.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
  int fd = -1;
  if (isLink || (exists && !S_ISREG(status.st_mode))) {
    fd = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) throw OutputError(target_.string() + ": cannot be written: " + why(errno));
    committed_ = true;  // nothing to put in place
  } else {
    fs::path folder = target_.parent_path();
    std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
      int error = errno;
      if (error == ENOENT) throw OutputError(target_.string() + ": no such folder");
      throw OutputError(target_.string() + ": cannot be written: " + why(error));
    }
    // mkstemp makes the file private; give it what a new file gets, or
    // what the file it replaces had.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, exists ? status.st_mode & 07777 : 0666 & ~mask);
    temporary_ = pattern;
    remember(temporary_);
  }
  buffer_ = std::make_unique<DescriptorBuffer>(fd, true);
  stream_.rdbuf(buffer_.get());
}

OutputFile::~OutputFile() {
  buffer_->close();
  if (!committed_) {
    ::unlink(temporary_.c_str());
    forget(temporary_);
  }
}

void OutputFile::commit() {
  stream_.flush();
  if (int error = buffer_->close(); error != 0) {
    throw OutputError(target_.string() + ": cannot be written: " + why(error));
  }
  if (committed_) return;
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    throw OutputError(target_.string() + ": cannot be put in place: " + why(errno));
  }
  forget(temporary_);
  committed_ = true;
}

void removeTemporaryFiles() {
  for (auto& slot : temporaries) {
    if (char* name = slot.load()) ::unlink(name);
  }
}

}  // namespace earshot::feed
