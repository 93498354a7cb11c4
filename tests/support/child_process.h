#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace earshot::testkit {

// How a child process ended and what it wrote.
struct ProcessRun {
  int status = -1;       // exit status, or -1 when a signal ended it
  int signal = 0;        // that signal, or 0
  std::string out, err;  // standard output and error, whole
  std::vector<std::string>
      lines;  // standard output by line; a torn last line ends in "<no line feed>"
};

// The environment every child gets unless its test names one: the test's
// own environment with HOME and each XDG folder pointing at one empty
// temporary folder of this test process, so that no child reads or writes
// the developer's model store, settings, cache or state (the engine's own
// models are all it finds), and a state folder ($XDG_STATE_HOME) of each
// call's own below it, so that no child hears what another learned.
std::vector<std::string> isolatedEnvironment();
// The same with `stateHome` as the state folder, for tests of what is kept
// there from one child to the next.
std::vector<std::string> isolatedEnvironment(const std::filesystem::path& stateHome);

// A program as a child process whose host end the test drives: it writes
// standard input piece by piece, can close either pipe at any moment, and
// reads standard output and error on threads of its own (standard output
// only when asked to, so a test can leave it unread). A child still running
// when the object goes is killed.
class ChildProcess {
 public:
  struct Options {
    // The program and its arguments; a program without a slash is looked up
    // in PATH.
    std::vector<std::string> argv = {};
    // The whole environment; isolatedEnvironment() when not given.
    std::optional<std::vector<std::string>> environment = std::nullopt;
    // Start reading standard output at once (else: readOutput()).
    bool readOutput = true;
    // Shrink the standard output pipe to one page, so the child's writes
    // block as soon as the test stops reading.
    bool smallOutputPipe = false;
    // Give the child non-blocking standard input and output, as a host that
    // set O_NONBLOCK on the pipes it shares (the flag belongs to the pipe
    // end, so the child sees it too; the test's own ends stay blocking).
    bool nonBlockingPipes = false;
  };

  explicit ChildProcess(Options options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

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
  // Closes the test's end of standard output, as a host that stops
  // listening; for tests that never started the reader.
  void closeOutput();
  // Whether one of the child's threads sits in a write to its standard
  // output (which, with nobody reading, means it is blocked there).
  bool writingOutput() const;

  // Closes standard input if still open, waits for the child to end and for
  // both outputs to close. Never returns while the child runs: a child that
  // hangs is left to the test's time-out.
  ProcessRun wait();

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::string outText_, errText_;
  std::thread outReader_, errReader_;
};

// Runs a program to its end: writes `input` to its standard input (as far
// as the program reads it) while both outputs are read.
ProcessRun runProgram(const std::vector<std::string>& argv, std::string_view input = {},
                      std::optional<std::vector<std::string>> environment = std::nullopt);

// The built earshot with these arguments, as argv.
std::vector<std::string> earshotCommand(const std::vector<std::string>& arguments = {});
// runProgram of the built earshot.
ProcessRun runEarshot(const std::vector<std::string>& arguments, std::string_view input = {},
                      std::optional<std::vector<std::string>> environment = std::nullopt);

// Writes `total` bytes made by repeating `piece`, in pieces, stopping early
// when the child stops reading; false then.
bool writeRepeated(ChildProcess& child, std::string_view piece, size_t total);

}  // namespace earshot::testkit
