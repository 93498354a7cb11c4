#pragma once

#include <cstddef>
#include <string_view>

namespace earshot::channel {

// Where the line reader gets its bytes: standard input in the program, a pipe
// or memory in tests and fuzzers.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Blocks until at least one byte is available; returns how many were
  // written to `out` (at most `capacity`), 0 at end of input. A read error
  // counts as end of input.
  virtual size_t readSome(char* out, size_t capacity) = 0;
};

// Reads a file descriptor with read(2), retrying on EINTR and waiting with
// poll(2) when the descriptor is non-blocking and has nothing yet. Does not
// own it.
class FdByteSource final : public ByteSource {
 public:
  explicit FdByteSource(int fd) : fd_(fd) {}
  size_t readSome(char* out, size_t capacity) override;

 private:
  int fd_;
};

// Serves bytes from memory, at most `chunk` bytes per read so that tests and
// fuzzers also cover lines that arrive in pieces. Does not own the memory.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes, size_t chunk = 1 << 16)
      : bytes_(bytes), chunk_(chunk == 0 ? 1 : chunk) {}
  size_t readSome(char* out, size_t capacity) override;

 private:
  std::string_view bytes_;
  size_t chunk_;
};

}  // namespace earshot::channel
