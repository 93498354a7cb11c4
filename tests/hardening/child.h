#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace earshot::hardening {

// The built program as a child process whose host end the test drives by
// hand: it writes standard input piece by piece, can close either pipe at
// any moment, and reads standard output and error on threads of its own
// (standard output only when asked to, so a test can leave it unread).
//
// The child runs with an empty temporary home, so only the engine's own
// model is installed. A child still running when the object goes is killed.
class Child {
 public:
  struct Options {
    std::vector<std::string> arguments;
    // Start reading standard output at once (else: readOutput()).
    bool readOutput = true;
    // Shrink the standard output pipe to one page, so the child's writes
    // block as soon as the test stops reading.
    bool smallOutputPipe = false;
  };

  explicit Child(Options options);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }

  // Writes all of `bytes` to standard input; false once the child has
  // closed its end (it stopped reading).
  bool write(std::string_view bytes);
  void closeInput();
  // Reads one line of standard output (without its line feed) while the
  // output is not being read otherwise; empty at the end of the output.
  std::string readLine();
  // Starts the standard output reader, if it is not running.
  void readOutput();
  // Closes the test's end of standard output (the reader, if running, is
  // stopped first), as a host that stops listening.
  void closeOutput();
  // Whether one of the child's threads sits in a write to its standard
  // output (which, with nobody reading, means it is blocked there).
  bool writingOutput() const;

  struct Exit {
    int status = -1;                 // exit status, or -1 when killed by a signal
    int signal = 0;                  // the signal that ended it, or 0
    std::vector<std::string> lines;  // standard output; a torn last line ends in "<no line feed>"
    std::string err;                 // standard error, whole
  };
  // Closes standard input if still open, waits for the child to end and for
  // both outputs to close. Never returns while the child runs: a child that
  // hangs is left to the test's time-out.
  Exit wait();

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::string outText_, errText_;
  std::thread outReader_, errReader_;
};

// Writes `total` bytes made by repeating `piece`, in pieces, stopping early
// when the child stops reading; false then.
bool writeRepeated(Child& child, std::string_view piece, size_t total);

}  // namespace earshot::hardening
