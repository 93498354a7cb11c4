#include "platform/closable_queue.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>

namespace earshot::platform {
namespace {

std::exception_ptr failure(const char* text) {
  return std::make_exception_ptr(std::runtime_error(text));
}

TEST(ClosableQueue, ValuesInOrderThenTheEndAfterEveryValueQueuedBeforeTheClose) {
  ClosableQueue<std::string> queue;
  queue.push("a");
  queue.push("b");
  queue.close();
  queue.push("dropped after the close");
  queue.close(failure("a second close does not count"));

  EXPECT_EQ(queue.next(), "a");
  EXPECT_EQ(queue.next(), "b");
  EXPECT_EQ(queue.next(), std::nullopt);
  EXPECT_EQ(queue.next(), std::nullopt);
}

TEST(ClosableQueue, FailureIsThrownOnceAfterTheQueuedValues) {
  ClosableQueue<int> queue;
  queue.push(1);
  queue.close(failure("engine failed"));

  EXPECT_EQ(queue.next(), 1);
  try {
    queue.next();
    ADD_FAILURE() << "no failure thrown";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "engine failed");
  }
  EXPECT_EQ(queue.next(), std::nullopt);
}

TEST(ClosableQueue, NextBlocksUntilAValueOrTheCloseArrives) {
  ClosableQueue<int> queue;
  std::vector<int> taken;
  std::thread consumer([&] {
    while (std::optional<int> value = queue.next()) taken.push_back(*value);
  });
  for (int i = 0; i < 1000; ++i) queue.push(i);
  queue.close();
  consumer.join();

  ASSERT_EQ(taken.size(), 1000u);
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(taken[size_t(i)], i);
}

}  // namespace
}  // namespace earshot::platform
