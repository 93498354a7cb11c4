#include "tools/feed/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace earshot::feed {

ChildProcess::ChildProcess(const std::string& path, const std::vector<std::string>& arguments,
                           bool ownProcessGroup) {
  int in[2], out[2];
  if (::pipe2(in, O_CLOEXEC) != 0) throw SpawnError(std::strerror(errno));
  if (::pipe2(out, O_CLOEXEC) != 0) {
    int error = errno;
    ::close(in[0]);
    ::close(in[1]);
    throw SpawnError(std::strerror(error));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);

  // The child starts with default handling of the signals this tool ignores
  // or catches.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  short flags = POSIX_SPAWN_SETSIGDEF;
  if (ownProcessGroup) {
    flags |= POSIX_SPAWN_SETPGROUP;
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  posix_spawnattr_setflags(&attributes, flags);

  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  int error = posix_spawnp(&pid_, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(in[0]);
  ::close(out[1]);
  if (error != 0) {
    ::close(in[1]);
    ::close(out[0]);
    throw SpawnError("cannot start " + path + ": " + std::strerror(error));
  }
  input_ = in[1];
  output_ = out[0];
}

ChildProcess::~ChildProcess() {
  closeInput();
  if (output_ >= 0) ::close(output_);
  if (!waited_) wait();
}

void ChildProcess::closeInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

int ChildProcess::wait(std::optional<int>* signal) {
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  waited_ = true;
  if (WIFSIGNALED(status)) {
    if (signal) *signal = WTERMSIG(status);
    return 128 + WTERMSIG(status);
  }
  return WEXITSTATUS(status);
}

std::string findEarshot(const std::string& explicitPath) {
  if (!explicitPath.empty()) return explicitPath;
  namespace fs = std::filesystem;
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  if (!error) {
    fs::path here = self.parent_path();
    for (const fs::path& candidate : {here / "earshot", here.parent_path() / "earshot"}) {
      if (::access(candidate.c_str(), X_OK) == 0 && fs::is_regular_file(candidate, error)) {
        return candidate.string();
      }
    }
  }
  return "earshot";
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(size_t(written));
  }
  return true;
}

LineInput::Got LineInput::next(std::string& line, int timeoutMs) {
  if (!ended_ && buffer_.find('\n', start_) == buffer_.npos) {
    pollfd one{fd_, POLLIN, 0};
    int ready;
    while ((ready = ::poll(&one, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (ready == 0) return Got::Timeout;
  }
  return next(line) ? Got::Line : Got::End;
}

bool LineInput::next(std::string& line) {
  for (;;) {
    size_t end = buffer_.find('\n', start_);
    if (end != buffer_.npos) {
      line.assign(buffer_, start_, end - start_);
      start_ = end + 1;
      return true;
    }
    if (ended_) {
      if (start_ >= buffer_.size()) return false;
      line.assign(buffer_, start_);
      start_ = buffer_.size();
      return true;
    }
    buffer_.erase(0, start_);
    start_ = 0;
    char chunk[65536];
    ssize_t got = ::read(fd_, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ended_ = true;
    } else {
      buffer_.append(chunk, size_t(got));
    }
  }
}

}  // namespace earshot::feed
