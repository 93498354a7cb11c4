#include "tests/tools/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace earshot::feed {

ProcessRun runProcess(const std::vector<std::string>& argv, const std::string& input) {
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) || ::pipe2(out, O_CLOEXEC) || ::pipe2(err, O_CLOEXEC)) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ProcessRun run;
  if (spawned != 0) {
    for (int fd : {in[1], out[0], err[0]}) ::close(fd);
    run.err = "spawn failed";
    return run;
  }
  ::fcntl(in[1], F_SETFL, O_NONBLOCK);
  size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    ::close(inFd);
    inFd = -1;
  }
  int open = 2;
  while (open > 0 || inFd >= 0) {
    pollfd fds[3] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {inFd, POLLOUT, 0}};
    if (::poll(fds, 3, -1) < 0) continue;
    std::string* sinks[2] = {&run.out, &run.err};
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd >= 0 && fds[i].revents) {
        char chunk[65536];
        ssize_t got = ::read(fds[i].fd, chunk, sizeof chunk);
        if (got > 0) {
          sinks[i]->append(chunk, size_t(got));
        } else if (got == 0 || errno != EINTR) {
          ::close(fds[i].fd);
          (i == 0 ? out[0] : err[0]) = -1;
          --open;
        }
      }
    }
    if (inFd >= 0 && fds[2].revents) {
      ssize_t put = ::write(inFd, input.data() + written, input.size() - written);
      if (put > 0) written += size_t(put);
      if ((put < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
        ::close(inFd);
        inFd = -1;
      }
    }
  }
  int status;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    run.signal = WTERMSIG(status);
  }
  return run;
}

}  // namespace earshot::feed
