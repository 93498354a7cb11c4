// Runs the built program as a host would and checks what it writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace {

struct SpawnResult {
  int status = -1;
  std::string out, err;
};

SpawnResult runEarshot(const std::vector<std::string>& arguments, const std::string& input) {
  int in[2], out[2], err[2];
  EXPECT_EQ(::pipe(in), 0);
  EXPECT_EQ(::pipe(out), 0);
  EXPECT_EQ(::pipe(err), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) {
    posix_spawn_file_actions_addclose(&actions, fd);
  }
  std::vector<char*> argv{const_cast<char*>(EARSHOT_BINARY)};
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  EXPECT_EQ(posix_spawn(&pid, EARSHOT_BINARY, &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  ::write(in[1], input.data(), input.size());
  ::close(in[1]);
  SpawnResult run;
  char chunk[4096];
  ssize_t got;
  while ((got = ::read(out[0], chunk, sizeof chunk)) > 0) run.out.append(chunk, got);
  while ((got = ::read(err[0], chunk, sizeof chunk)) > 0) run.err.append(chunk, got);
  ::close(out[0]);
  ::close(err[0]);
  int status;
  ::waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(Process, LocalesWritesOneLineAndNothingOnStderr) {
  SpawnResult run = runEarshot({"--locales"}, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  ASSERT_FALSE(run.out.empty());
  EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
  EXPECT_EQ(run.out.rfind("{\"type\":\"locales\",", 0), 0u) << run.out;
}

TEST(Process, FailureIsOneErrorLineAndStatusOne) {
  SpawnResult run = runEarshot({"--install", "zz-not-a-locale"}, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("{\"type\":\"error\",\"message\":\"", 0), 0u) << run.out;
  EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
}

}  // namespace
