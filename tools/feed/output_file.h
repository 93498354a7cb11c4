#pragma once

#include <filesystem>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <streambuf>
#include <string>

namespace earshot::feed {

// An output that cannot be written; what() names it and says why.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A buffered stream onto a descriptor that keeps the first write error,
// so that a full disk or a closed pipe is told by its name.
class DescriptorBuffer final : public std::streambuf {
 public:
  DescriptorBuffer(int fd, bool ownsFd);
  ~DescriptorBuffer() override;
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

  // The errno of the first failed write, or 0.
  int error() const { return error_; }
  // Writes what is buffered and closes an owned descriptor; the first
  // error, or 0.
  int close();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  bool drain();
  bool writeOut(const char* data, size_t size);

  int fd_;
  bool ownsFd_;
  int error_ = 0;
  char buffer_[8192];
};

// What standard output is written through.
DescriptorBuffer& standardOutputBuffer();

// Flushes `out` (written through standardOutputBuffer()) and checks that
// everything arrived; throws OutputError naming `name`.
void checkWritten(std::ostream& out, const std::string& name);

// One output file. A regular file (or a new one) is written under a
// temporary name in the target's folder and renamed into place by
// commit(), so a failed or interrupted run never leaves half a file under
// the target's name nor harms what was there; the temporary file goes
// when the object does, if not committed. Anything else under the name (a
// device such as /dev/null, a pipe, a symbolic link) is written through.
class OutputFile {
 public:
  // Throws OutputError.
  explicit OutputFile(std::filesystem::path target);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  std::ostream& stream() { return stream_; }
  const std::filesystem::path& target() const { return target_; }

  // Flushes, checks that every write arrived, and puts the file in place.
  // Throws OutputError.
  void commit();

 private:
  std::filesystem::path target_, temporary_;
  std::unique_ptr<DescriptorBuffer> buffer_;
  std::ostream stream_{nullptr};
  bool committed_ = false;
};

// Removes every temporary file not yet renamed into place; safe in a
// signal handler (for the second Ctrl-C, which leaves at once).
void removeTemporaryFiles();

}  // namespace earshot::feed
