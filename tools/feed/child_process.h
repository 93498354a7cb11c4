#pragma once

#include <sys/types.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::feed {

class SpawnError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A running earshot. This object holds the write end of its standard input
// and the read end of its standard output; its standard error is ours.
class ChildProcess {
 public:
  // `path` without a slash is looked up on PATH. With `ownProcessGroup` a
  // Ctrl-C on the terminal reaches only this tool, which then ends the
  // child's input in order. Throws SpawnError.
  ChildProcess(const std::string& path, const std::vector<std::string>& arguments,
               bool ownProcessGroup);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  int input() const { return input_; }
  int output() const { return output_; }
  void closeInput();

  // Waits for the child to end: its exit status, or 128 + the signal that
  // ended it (then `signal` says which).
  int wait(std::optional<int>* signal = nullptr);

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  bool waited_ = false;
};

// Where earshot is: `explicitPath` if given; else beside this executable
// (installed side by side, or one level up and under app/ in a build tree);
// else the bare name, for PATH.
std::string findEarshot(const std::string& explicitPath);

// Writes all of `data`; false once the reader has gone (EPIPE) or on any
// other write failure. SIGPIPE must be ignored.
bool writeAll(int fd, std::string_view data);

// Reads lines (without their line feed) from a descriptor.
class LineInput {
 public:
  explicit LineInput(int fd) : fd_(fd) {}
  // False at end of input; a last line without a line feed still counts.
  bool next(std::string& line);

  enum class Got { Line, End, Timeout };
  // Like next(), waiting at most `timeoutMs` (-1: no limit) for more bytes.
  Got next(std::string& line, int timeoutMs);

 private:
  int fd_;
  std::string buffer_;
  size_t start_ = 0;
  bool ended_ = false;
};

}  // namespace earshot::feed
