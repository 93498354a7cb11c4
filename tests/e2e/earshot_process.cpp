#include "earshot_process.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace earshot::e2e {
namespace {

std::string readAll(int fd) {
  std::string text;
  char chunk[65536];
  ssize_t got;
  while ((got = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, size_t(got));
  return text;
}

// An empty folder for the process's home and XDG folders.
std::string emptyHome() {
  static const std::string home = [] {
    auto path =
        std::filesystem::temp_directory_path() / ("earshot-e2e-home-" + std::to_string(::getpid()));
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path.string();
  }();
  return home;
}

}  // namespace

ProcessRun runEarshot(const std::vector<std::string>& arguments, const std::string& input) {
  // A program that stops reading early must not kill the test.
  std::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) {
    ADD_FAILURE() << "pipe";
    return {};
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string variable = *entry;
    if (variable.rfind("HOME=", 0) == 0 || variable.rfind("XDG_", 0) == 0) continue;
    environment.push_back(variable);
  }
  const std::string home = emptyHome();
  for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                           "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
    environment.push_back(std::string(name) + "=" + home);
  }
  std::vector<char*> envp;
  for (auto& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> words{EARSHOT_BINARY};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid = -1;
  int spawned = posix_spawn(&pid, EARSHOT_BINARY, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << EARSHOT_BINARY;
    return {};
  }
  // The program may answer (or fail) before it has read everything.
  std::thread writer([fd = in[1], &input] {
    size_t at = 0;
    while (at < input.size()) {
      ssize_t put = ::write(fd, input.data() + at, input.size() - at);
      if (put <= 0) break;
      at += size_t(put);
    }
    ::close(fd);
  });
  std::string errText;
  std::thread errReader([&] { errText = readAll(err[0]); });
  std::string outText = readAll(out[0]);
  errReader.join();
  writer.join();
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);

  ProcessRun run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = errText;
  size_t at = 0;
  while (at < outText.size()) {
    size_t end = outText.find('\n', at);
    if (end == std::string::npos) {
      run.lines.push_back(outText.substr(at) + "<no line feed>");
      break;
    }
    run.lines.push_back(outText.substr(at, end - at));
    at = end + 1;
  }
  return run;
}

}  // namespace earshot::e2e
