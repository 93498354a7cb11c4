// Runs the built program as a host would and checks what it writes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace earshot::testkit {
namespace {

TEST(Process, LocalesWritesOneLineAndNothingOnStderr) {
  ProcessRun run = runEarshot({"--locales"}, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  ASSERT_FALSE(run.out.empty());
  EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
  EXPECT_EQ(run.out.rfind("{\"type\":\"locales\",", 0), 0u) << run.out;
}

TEST(Process, FailureIsOneErrorLineAndStatusOne) {
  ProcessRun run = runEarshot({"--install", "zz-not-a-locale"}, "");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.rfind("{\"type\":\"error\",\"message\":\"", 0), 0u) << run.out;
  EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
}

}  // namespace
}  // namespace earshot::testkit
