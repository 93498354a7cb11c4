// earshot-feed: a host for earshot that people run from a shell. This file
// only wires: the command line, signals, and which run to make.
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <iostream>

#include "tools/feed/audio_input.h"
#include "tools/feed/child_process.h"
#include "tools/feed/flags.h"
#include "tools/feed/microphone.h"
#include "tools/feed/one_shot_run.h"
#include "tools/feed/options.h"
#include "tools/feed/output_file.h"
#include "tools/feed/transcription_job.h"
#include "tools/feed/transcription_run.h"

#ifndef FEED_VERSION
#define FEED_VERSION "unknown"
#endif

namespace {

using namespace earshot::feed;

int wakeFd = -1;
volatile sig_atomic_t interrupts = 0;  // only the handler writes it

// First Ctrl-C: stop sending audio and let earshot finish the session, so
// the last words still arrive. Second: give up at once.
void onInterrupt(int) {
  interrupts = interrupts + 1;
  if (interrupts >= 2) {
    pid_t child = runningChild();
    if (child > 0) ::kill(child, SIGKILL);
    removeTemporaryFiles();
    ::_exit(130);
  }
  uint64_t one = 1;
  if (::write(wakeFd, &one, sizeof one) < 0) ::_exit(130);
}

// The width of the terminal on `fd`; 0 when it is not a terminal.
int terminalColumns(int fd) {
  if (::isatty(fd) != 1) return 0;
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

int usageError(const std::string& what) {
  std::cout.flush();
  std::cerr << "earshot-feed: " << what << "\nTry earshot-feed --help.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  FeedOptions options;
  try {
    options = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const UsageError& error) {
    return usageError(error.what());
  }
  if (options.action == Action::Help) {
    std::cout << helpText("earshot-feed");
    return 0;
  }
  if (options.action == Action::Version) {
    std::cout << "earshot-feed " << FEED_VERSION << '\n';
    return 0;
  }

  // earshot may go away while we write to it: a failed write says so.
  ::signal(SIGPIPE, SIG_IGN);
  std::ios::sync_with_stdio(false);
  std::ostream out(&standardOutputBuffer());

  wakeFd = ::eventfd(0, EFD_CLOEXEC);
  bool toTerminal =
      options.output.empty() && options.outputDir.empty() && ::isatty(STDOUT_FILENO) == 1;
  Style style = options.format == Format::Json ? Style::Json
                : toTerminal                   ? Style::Terminal
                                               : Style::Plain;
  RunSettings settings{findEarshot(options.earshotPath),
                       style,
                       style == Style::Terminal ? terminalColumns(STDOUT_FILENO) : 0,
                       out,
                       std::cerr,
                       wakeFd};
  try {
    switch (options.action) {
      case Action::ListDevices:
        out << sourcesTable(listSources());
        checkWritten(out, "standard output");
        return 0;
      case Action::Transcribe: {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        action.sa_flags = SA_RESTART;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGINT, &action, nullptr);
        int status = runTranscriptionJob(options, settings, terminalColumns(STDERR_FILENO));
        return interrupts > 0 ? 130 : status;
      }
      default: {
        int status = runOneShot(options, settings);
        checkWritten(out, "standard output");
        return status;
      }
    }
  } catch (const UsageError& error) {
    return usageError(error.what());
  } catch (const std::exception& error) {
    out.flush();
    std::cerr << "earshot-feed: " << error.what() << '\n';
    return 1;
  }
}
