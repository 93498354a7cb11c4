#include "platform/linux/engine/isolated_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "platform/unexpected_exit.h"

namespace earshot::platform::linuxos {
namespace {

int reasonFd = -1;  // in the child: the pipe to the parent

// One write of at most PIPE_BUF bytes: it goes into the empty pipe whole and
// at once, so the parent reads it after the child has ended.
void tell(const std::string& reason) {
  std::string_view text(reason.data(), std::min<size_t>(reason.size(), PIPE_BUF));
  while (::write(reasonFd, text.data(), text.size()) < 0 && errno == EINTR) {
  }
}

// In the child, when the engine calls exit(): runs before the handlers the
// child inherited, so none of them writes anywhere.
void reportEngineExit() {
  tell(explainUnexpectedExit().value_or("the speech engine gave up on it"));
  ::_exit(2);
}

[[noreturn]] void runInChild(const std::function<void()>& work) {
  // Nothing of the child may reach the host.
  int null = ::open("/dev/null", O_RDWR);
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) ::dup2(null, fd);
  std::atexit(reportEngineExit);
  try {
    work();
  } catch (const std::exception& failure) {
    tell(failure.what());
    ::_exit(1);
  }
  ::_exit(0);
}

}  // namespace

void runIsolated(const std::function<void()>& work) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("cannot start the speech engine: ") +
                             std::strerror(errno));
  }
  pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    reasonFd = fds[1];
    runInChild(work);
  }
  ::close(fds[1]);
  if (child < 0) {
    int failure = errno;
    ::close(fds[0]);
    throw std::runtime_error(std::string("cannot start the speech engine: ") +
                             std::strerror(failure));
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  char text[PIPE_BUF];
  ssize_t got;
  while ((got = ::read(fds[0], text, sizeof text)) < 0 && errno == EINTR) {
  }
  ::close(fds[0]);
  std::string reason(text, static_cast<size_t>(std::max<ssize_t>(got, 0)));
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;
  if (WIFSIGNALED(status)) {
    std::string signal = ::strsignal(WTERMSIG(status));
    throw std::runtime_error("the speech engine failed loading it (" + signal + ")");
  }
  throw std::runtime_error(reason.empty() ? "the speech engine could not load it" : reason);
}

}  // namespace earshot::platform::linuxos
