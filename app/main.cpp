// The program's entry: the one place that picks the real platform and binds
// the host channel to standard input and output.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "app/apple_speech_helper.h"
#include "channel/byte_source.h"
#include "platform/unexpected_exit.h"
#include "protocol/names.h"
#include "protocol/texts.h"

namespace earshot::app {
namespace {

// A host may start us with standard input, output or error closed. The next
// file opened would then take that number (the model store's lock file, a
// download) and protocol lines would be written into it. /dev/null holds the
// numbers instead: output goes nowhere, input ends at once.
void holdStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
      // open() takes the lowest free number, which is fd.
      int opened = ::open("/dev/null", O_RDWR);
      if (opened > 2) ::close(opened);
    }
  }
}

// Nothing of ours ever goes to standard error, but the engine and the
// libraries below it may print there (an assertion's text, a diagnostic).
// Standard error points at /dev/null for the life of the process.
void silenceStandardError() {
  int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null < 0) return;
  ::dup2(null, STDERR_FILENO);
  if (null != STDERR_FILENO) ::close(null);
}

channel::HostOutput* exitOutput = nullptr;

// The program itself ends only with _exit, so exit() comes from a library:
// the engine gives up on a model that way. Say so in the protocol, as the
// mode's one "error" line with what the platform knows of it, and end with
// status 1 before anything else runs at exit.
void reportUnexpectedExit() {
  std::string reason =
      platform::explainUnexpectedExit().value_or(protocol::text::kEngineEndedProcess);
  if (exitOutput != nullptr) {
    exitOutput->emit(
        channel::OutgoingMessage(protocol::type::kError).add(protocol::member::kMessage, reason));
  }
  ::_exit(1);
}

}  // namespace

void AppleSpeechHelper::main(int argc, char** argv) {
  holdStandardDescriptors();
  silenceStandardError();
  // A host that closes its end must not kill us with a signal: writes fail
  // quietly instead (see HostOutput).
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments = argumentsAsText(argc, argv);

  platform::Platform platform = platform::makeSystemPlatform();
  channel::FdByteSource standardInput(STDIN_FILENO);
  channel::LineReader input(standardInput);
  channel::HostOutput output(STDOUT_FILENO);
  mode::ModeContext context{platform, input, output};
  exitOutput = &output;
  std::atexit(reportUnexpectedExit);

  int status = 1;
  std::thread mode([&] { status = execute(arguments, context); });
  mode.join();
  // Every line went out with write(2) already; end now, whatever other
  // threads are doing.
  ::_exit(status);
}

}  // namespace earshot::app

int main(int argc, char** argv) {
  earshot::app::AppleSpeechHelper::main(argc, argv);
}
