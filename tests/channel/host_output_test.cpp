#include "channel/host_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <limits>
#include <string>
#include <thread>

#include "tests/support/test_channel.h"

namespace earshot::channel {
namespace {

std::string serialized(const OutgoingMessage& message) {
  return message.serialize().value_or("<dropped>");
}

TEST(OutgoingMessage, CompactJsonWithTheProgramsEscaping) {
  EXPECT_EQ(serialized(OutgoingMessage("stopped")), R"({"type":"stopped"})");
  EXPECT_EQ(
      serialized(OutgoingMessage("transcript")
                     .add("text", "a/b \"q\" \\ line\nfeed\r\t\x01\x1f caf\xC3\xA9 \xE2\x80\xA6")
                     .add("isFinal", true)),
      R"({"type":"transcript","text":"a\/b \"q\" \\ line\nfeed\r\t\u0001\u001f )"
      "caf\xC3\xA9 \xE2\x80\xA6\",\"isFinal\":true}");
  EXPECT_EQ(serialized(OutgoingMessage("locales")
                           .add("available", false)
                           .add("supported", std::vector<std::string>{"en-US", "de-DE"})
                           .add("installed", std::vector<std::string>{})
                           .add("maxReserved", int64_t{-3})),
            R"({"type":"locales","available":false,"supported":["en-US","de-DE"],)"
            R"("installed":[],"maxReserved":-3})");
  EXPECT_EQ(serialized(
                OutgoingMessage("transcript")
                    .add("words",
                         std::vector<OutgoingMessage>{
                             OutgoingMessage::object().add("text", "a/b").add("start", 0.5),
                             OutgoingMessage::object(), OutgoingMessage::object().add("x", true)})),
            R"({"type":"transcript","words":[{"text":"a\/b","start":0.5},{},{"x":true}]})");
  EXPECT_EQ(serialized(OutgoingMessage("x").add("words", std::vector<OutgoingMessage>{})),
            R"({"type":"x","words":[]})");
}

TEST(OutgoingMessage, NumbersReadBackToTheSameValue) {
  for (double value :
       {16000.0, 1.0, 0.0, -0.0, 0.1, 1.0 / 3.0, 44100.5, 1e-300, 1.7976931348623157e308, 5e-324}) {
    std::string json = serialized(OutgoingMessage("x").add("v", value));
    std::string number = json.substr(json.find(":", 10) + 1);
    number.pop_back();
    EXPECT_EQ(std::strtod(number.c_str(), nullptr), value) << json;
    EXPECT_EQ(std::signbit(std::strtod(number.c_str(), nullptr)), std::signbit(value)) << json;
  }
  EXPECT_EQ(serialized(OutgoingMessage("ready").add("sampleRate", 16000.0)),
            R"({"type":"ready","sampleRate":16000})");
}

TEST(OutgoingMessage, UnwritableMessagesAreDropped) {
  EXPECT_FALSE(OutgoingMessage("x").add("f", std::numeric_limits<double>::quiet_NaN()).serialize());
  EXPECT_FALSE(OutgoingMessage("x").add("f", std::numeric_limits<double>::infinity()).serialize());
  // An unwritable member object makes its message unwritable.
  EXPECT_FALSE(OutgoingMessage("x")
                   .add("words", std::vector<OutgoingMessage>{OutgoingMessage::object().add(
                                     "start", std::numeric_limits<double>::infinity())})
                   .serialize());
}

// Texts come from file names, libraries and model files: a line is never
// lost for its text, invalid parts become U+FFFD as in input.
TEST(OutgoingMessage, TextThatIsNotUtf8IsRepaired) {
  EXPECT_EQ(serialized(OutgoingMessage("error").add("message", "cannot create /dev/null/\xFF")),
            "{\"type\":\"error\",\"message\":\"cannot create \\/dev\\/null\\/\xEF\xBF\xBD\"}");
  EXPECT_EQ(serialized(OutgoingMessage("transcript")
                           .add("text", "caf\xE9 \xC3\xA9 \xE2\x82 \xED\xA0\x80")
                           .add("isFinal", true)),
            "{\"type\":\"transcript\",\"text\":\"caf\xEF\xBF\xBD \xC3\xA9 \xEF\xBF\xBD "
            "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\",\"isFinal\":true}");
  EXPECT_EQ(serialized(OutgoingMessage("locales").add("supported",
                                                      std::vector<std::string>{"en-\xFF", "\x80"})),
            "{\"type\":\"locales\",\"supported\":[\"en-\xEF\xBF\xBD\",\"\xEF\xBF\xBD\"]}");
}

TEST(HostOutput, DroppedMessageWritesNothingAndLaterOnesStillGoOut) {
  testkit::TestChannel channel;
  channel.output().emit(OutgoingMessage("x").add("f", std::nan("")));
  channel.output().emit(OutgoingMessage("stopped"));
  EXPECT_EQ(channel.written(), "{\"type\":\"stopped\"}\n");
}

TEST(HostOutput, ConcurrentLongLinesNeverInterleaveOnAPipe) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  HostOutput output(fds[1]);
  // Far beyond the size a pipe writes in one piece.
  const std::string a(300'000, 'a'), b(300'000, 'b');
  const int perThread = 20;
  std::string received;
  std::thread reader([&] {
    char chunk[1 << 16];
    ssize_t got;
    while ((got = ::read(fds[0], chunk, sizeof chunk)) > 0) received.append(chunk, got);
  });
  {
    std::jthread first([&] {
      for (int i = 0; i < perThread; ++i) output.emit(OutgoingMessage("t").add("text", a));
    });
    std::jthread second([&] {
      for (int i = 0; i < perThread; ++i) output.emit(OutgoingMessage("t").add("text", b));
    });
  }
  ::close(fds[1]);
  reader.join();
  ::close(fds[0]);
  const std::string lineA = serialized(OutgoingMessage("t").add("text", a)) + "\n";
  const std::string lineB = serialized(OutgoingMessage("t").add("text", b)) + "\n";
  int countA = 0, countB = 0;
  for (size_t at = 0; at < received.size();) {
    if (received.compare(at, lineA.size(), lineA) == 0) {
      ++countA;
      at += lineA.size();
    } else if (received.compare(at, lineB.size(), lineB) == 0) {
      ++countB;
      at += lineB.size();
    } else {
      FAIL() << "torn line at byte " << at;
    }
  }
  EXPECT_EQ(countA, perThread);
  EXPECT_EQ(countB, perThread);
}

TEST(HostOutput, ClosedReaderIsNotAFailure) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ::close(fds[0]);
  auto previous = std::signal(SIGPIPE, SIG_IGN);
  HostOutput output(fds[1]);
  output.emit(OutgoingMessage("stopped"));  // must return quietly
  std::signal(SIGPIPE, previous);
  ::close(fds[1]);
}

// The audio loop stops decoding for a host that has gone; one that only
// reads slowly, or output into a file or /dev/null, is no host gone.
TEST(HostOutput, KnowsWhenTheHostHasGone) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  HostOutput output(fds[1]);
  EXPECT_FALSE(output.hostGone());
  ::close(fds[0]);
  EXPECT_TRUE(output.hostGone());  // before any write fails
  auto previous = std::signal(SIGPIPE, SIG_IGN);
  output.emit(OutgoingMessage("stopped"));
  std::signal(SIGPIPE, previous);
  EXPECT_TRUE(output.hostGone());
  ::close(fds[1]);

  int null = ::open("/dev/null", O_WRONLY);
  ASSERT_GE(null, 0);
  EXPECT_FALSE(HostOutput(null).hostGone());
  ::close(null);
  testkit::TestChannel file;
  file.output().emit(OutgoingMessage("ready"));
  EXPECT_FALSE(file.output().hostGone());
}

}  // namespace
}  // namespace earshot::channel
