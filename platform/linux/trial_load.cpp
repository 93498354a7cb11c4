#include "platform/linux/trial_load.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "platform/linux/decoder.h"
#include "platform/unexpected_exit.h"

namespace earshot::platform::linuxos {
namespace {

int reasonFd = -1;  // in the child: the pipe to the parent

void tell(const std::string& reason) {
  const char* data = reason.data();
  size_t left = reason.size();
  while (left > 0) {
    ssize_t written = ::write(reasonFd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    data += written;
    left -= static_cast<size_t>(written);
  }
}

// In the child, when the engine calls exit(): runs before the handlers the
// child inherited, so none of them writes anywhere.
void reportEngineExit() {
  tell(explainUnexpectedExit().value_or("the speech engine gave up on it"));
  ::_exit(2);
}

[[noreturn]] void loadInChild(const SpeechModel& model, const EngineSettings& settings) {
  // Nothing of the child may reach the host.
  int null = ::open("/dev/null", O_RDWR);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(null, fd);
  std::atexit(reportEngineExit);
  try {
    Decoder decoder(model, settings);
  } catch (const std::exception& failure) {
    tell(failure.what());
    ::_exit(1);
  }
  ::_exit(0);
}

std::string readAll(int fd) {
  std::string text;
  char chunk[512];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
      text.append(chunk, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return text;
    }
  }
}

}  // namespace

void trialLoad(const SpeechModel& model, const EngineSettings& settings) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("cannot test-load the model: ") + std::strerror(errno));
  }
  pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    reasonFd = fds[1];
    loadInChild(model, settings);
  }
  ::close(fds[1]);
  if (child < 0) {
    int failure = errno;
    ::close(fds[0]);
    throw std::runtime_error(std::string("cannot test-load the model: ") + std::strerror(failure));
  }
  std::string reason = readAll(fds[0]);
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  if (WIFSIGNALED(status)) {
    std::string signal = ::strsignal(WTERMSIG(status));
    throw std::runtime_error("the speech engine failed loading it (" + signal + ")");
  }
  throw std::runtime_error(reason.empty() ? "the speech engine could not load it" : reason);
}

}  // namespace earshot::platform::linuxos
