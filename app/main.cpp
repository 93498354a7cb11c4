// The program's entry: the one place that picks the real platform and binds
// the host channel to standard input and output.
#include <unistd.h>

#include <csignal>
#include <thread>

#include "app/apple_speech_helper.h"
#include "app/channel/byte_source.h"

namespace earshot {

void AppleSpeechHelper::main(int argc, char** argv) {
  // A host that closes its end must not kill us with a signal: writes fail
  // quietly instead (see HostOutput).
  std::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> arguments = argumentsAsText(argc, argv);

  platform::Platform platform = platform::makeSystemPlatform();
  FdByteSource standardInput(STDIN_FILENO);
  LineReader input(standardInput);
  HostOutput output(STDOUT_FILENO);
  ModeContext context{platform, input, output};

  int status = 1;
  std::thread mode([&] { status = execute(arguments, context); });
  mode.join();
  // Every line went out with write(2) already; end now, whatever other
  // threads are doing.
  ::_exit(status);
}

}  // namespace earshot

int main(int argc, char** argv) {
  earshot::AppleSpeechHelper::main(argc, argv);
}
