#include "tests/support/child_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>

extern char** environ;

namespace earshot::testkit {
namespace {

std::string readAll(int fd) {
  std::string text;
  char chunk[1 << 16];
  for (;;) {
    ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
      text.append(chunk, static_cast<size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      return text;
    }
  }
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at) + "<no line feed>");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// The empty home of this test process's children; removed when it ends.
class EmptyHome {
 public:
  EmptyHome()
      : path_(std::filesystem::temp_directory_path() /
              ("earshot-test-home-" + std::to_string(::getpid()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~EmptyHome() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> result;
  for (auto& s : strings) result.push_back(s.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

std::vector<std::string> isolatedEnvironment() {
  static const EmptyHome home;
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string variable = *entry;
    if (variable.rfind("HOME=", 0) == 0 || variable.rfind("XDG_", 0) == 0) continue;
    environment.push_back(variable);
  }
  for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME",
                           "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) {
    environment.push_back(std::string(name) + "=" + home.path());
  }
  // A state folder for each child, so that no child starts from the speaker
  // adaptation another one kept.
  static std::atomic<int> children = 0;
  environment.push_back("XDG_STATE_HOME=" + home.path() + "/state-" + std::to_string(++children));
  return environment;
}

std::vector<std::string> isolatedEnvironment(const std::filesystem::path& stateHome) {
  std::vector<std::string> environment = isolatedEnvironment();
  std::erase_if(environment, [](const std::string& variable) {
    return variable.starts_with("XDG_STATE_HOME=");
  });
  environment.push_back("XDG_STATE_HOME=" + stateHome.string());
  return environment;
}

ChildProcess::ChildProcess(Options options) {
  // Writing to a child that has gone must fail, not kill the test.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe";
    return;
  }
  if (options.smallOutputPipe) ::fcntl(out[0], F_SETPIPE_SZ, 4096);
  if (options.nonBlockingPipes) {
    for (int childEnd : {in[0], out[1]}) {
      ::fcntl(childEnd, F_SETFL, ::fcntl(childEnd, F_GETFL) | O_NONBLOCK);
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> environment =
      options.environment ? *options.environment : isolatedEnvironment();
  std::vector<char*> envp = pointers(environment);
  std::vector<char*> argv = pointers(options.argv);
  int spawned = ENOENT;
  if (!options.argv.empty()) {
    spawned = options.argv[0].find('/') == std::string::npos
                  ? ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data())
                  : ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
  if (spawned != 0) {
    pid_ = -1;
    ADD_FAILURE() << "cannot start " << (options.argv.empty() ? "nothing" : options.argv[0]);
    return;
  }
  errReader_ = std::thread([this] { errText_ = readAll(err_); });
  if (options.readOutput) readOutput();
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    wait();
  }
  for (int fd : {in_, out_, err_}) {
    if (fd >= 0) ::close(fd);
  }
}

bool ChildProcess::write(std::string_view bytes) {
  if (in_ < 0) return false;
  while (!bytes.empty()) {
    ssize_t put = ::write(in_, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(put));
  }
  return true;
}

void ChildProcess::closeInput() {
  if (in_ >= 0) ::close(in_);
  in_ = -1;
}

std::string ChildProcess::readLine() {
  std::string line;
  char c;
  while (::read(out_, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

void ChildProcess::readOutput() {
  if (!outReader_.joinable() && out_ >= 0) {
    outReader_ = std::thread([this] { outText_ += readAll(out_); });
  }
}

void ChildProcess::closeOutput() {
  // A running reader ends only with the child's output.
  if (outReader_.joinable()) ADD_FAILURE() << "closeOutput() while the output is being read";
  if (out_ >= 0) ::close(out_);
  out_ = -1;
}

bool ChildProcess::writingOutput() const {
  // Each thread's syscall file starts with the number and the arguments of
  // the system call it waits in ("running" when it waits in none).
  std::error_code error;
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(pid_) + "/task", error)) {
    std::ifstream file(task.path() / "syscall");
    long number = -1;
    std::string fd;
    if (file >> number >> fd && number == SYS_write && fd == "0x1") return true;
  }
  return false;
}

ProcessRun ChildProcess::wait() {
  ProcessRun run;
  if (pid_ <= 0) return run;
  closeInput();
  readOutput();  // what is left, so the child never blocks on a full pipe
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (outReader_.joinable()) outReader_.join();
  if (errReader_.joinable()) errReader_.join();
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.out = outText_;
  run.err = errText_;
  run.lines = splitLines(outText_);
  return run;
}

ProcessRun runProgram(const std::vector<std::string>& argv, std::string_view input,
                      std::optional<std::vector<std::string>> environment) {
  ChildProcess child({.argv = argv, .environment = std::move(environment)});
  // The program may answer (or fail) before it has read everything.
  child.write(input);
  return child.wait();
}

std::vector<std::string> earshotCommand(const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{EARSHOT_BINARY};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return argv;
}

ProcessRun runEarshot(const std::vector<std::string>& arguments, std::string_view input,
                      std::optional<std::vector<std::string>> environment) {
  return runProgram(earshotCommand(arguments), input, std::move(environment));
}

bool writeRepeated(ChildProcess& child, std::string_view piece, size_t total) {
  std::string block;
  while (block.size() < (1 << 16)) block += piece;
  while (total > 0) {
    size_t count = std::min(total, block.size());
    if (!child.write(std::string_view(block).substr(0, count))) return false;
    total -= count;
  }
  return true;
}

}  // namespace earshot::testkit
