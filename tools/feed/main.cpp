// earshot-feed: a host for earshot that people run from a shell.
#include <fcntl.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>

#include "tools/feed/audio_input.h"
#include "tools/feed/child_process.h"
#include "tools/feed/host_runs.h"
#include "tools/feed/options.h"

namespace {

int wakeFd = -1;
volatile sig_atomic_t interrupts = 0;  // only the handler touches it

// First Ctrl-C: stop sending audio and let earshot finish the session, so
// the last words still arrive. Second: give up at once.
void onInterrupt(int) {
  interrupts = interrupts + 1;
  if (interrupts >= 2) {
    pid_t child = earshot::feed::runningChild();
    if (child > 0) ::kill(child, SIGKILL);
    ::_exit(130);
  }
  uint64_t one = 1;
  if (::write(wakeFd, &one, sizeof one) < 0) ::_exit(130);
}

int terminalColumns() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace earshot::feed;
  std::vector<std::string> arguments(argv + 1, argv + argc);
  FeedOptions options;
  try {
    options = parseArguments(arguments);
  } catch (const UsageError& error) {
    std::cerr << "earshot-feed: " << error.what() << "\nTry earshot-feed --help.\n";
    return 2;
  }
  if (options.action == Action::Help) {
    std::cout << usageText("earshot-feed");
    return 0;
  }

  // earshot may go away while we write to it: a failed write says so.
  ::signal(SIGPIPE, SIG_IGN);
  std::ios::sync_with_stdio(false);

  wakeFd = ::eventfd(0, EFD_CLOEXEC);
  Style style = options.json                   ? Style::Json
                : ::isatty(STDOUT_FILENO) == 1 ? Style::Terminal
                                               : Style::Plain;
  RunSettings settings{findEarshot(options.earshotPath),
                       style,
                       style == Style::Terminal ? terminalColumns() : 0,
                       std::cout,
                       std::cerr,
                       wakeFd};
  try {
    if (options.action != Action::Transcribe) return runOneShot(options, settings);

    std::unique_ptr<AudioInput> audio;
    if (!options.rawRate) {
      audio = openSoundFile(options.input);
    } else if (options.input == "-") {
      audio = openRawInput(STDIN_FILENO, *options.rawRate, wakeFd, false);
    } else {
      int fd = ::open(options.input.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) throw InputError(options.input + ": " + std::strerror(errno));
      audio = openRawInput(fd, *options.rawRate, -1, true);
    }
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    return runTranscription(options, *audio, settings);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << "earshot-feed: " << error.what() << '\n';
    return 1;
  }
}
