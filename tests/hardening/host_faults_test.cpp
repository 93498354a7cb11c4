// The built program when its host misbehaves or dies: it stops listening,
// cuts its input mid-line, vanishes while the program writes. The program
// must end (once its input has ended) without a signal death, a hang or a
// byte on standard error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host_audio.h"
#include "tests/support/host_lines.h"

namespace earshot::testkit {
namespace {

// The five book recordings one after another: about 25 s of speech.
std::vector<int16_t> book() {
  std::vector<int16_t> all;
  for (const char* id : {"0870", "0880", "0890", "0920", "0930"}) {
    std::vector<int16_t> part =
        recording(std::string("librivox/sense_and_sensibility_01_austen_64kb-") + id + ".wav");
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

void expectCleanEnd(const ProcessRun& exit, int status) {
  EXPECT_EQ(exit.signal, 0) << "killed by a signal";
  EXPECT_EQ(exit.status, status);
  EXPECT_EQ(exit.err, "");
}

struct ClosedOutputCase {
  std::string name;
  bool stop;  // end with "stop" (else the input just ends)
  friend void PrintTo(const ClosedOutputCase& c, std::ostream* out) { *out << c.name; }
};

class OutputClosedMidSession : public testing::TestWithParam<ClosedOutputCase> {};

// Every transcript after the close is a failed write; the session still
// runs to its end and the process ends normally once its input ends.
TEST_P(OutputClosedMidSession, EndsOnceItsInputEnds) {
  ChildProcess child({.argv = earshotCommand(), .readOutput = false});
  child.write(initLine() + "\n");
  ASSERT_EQ(child.readLine(), readyLine());
  child.closeOutput();
  std::string audio = audioLines(recording("goforward.raw"), 16000);
  child.write(audio + flushLine() + "\n" + audio);
  if (GetParam().stop) child.write(stopLine() + "\n");
  expectCleanEnd(child.wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(Hardening, OutputClosedMidSession,
                         testing::Values(ClosedOutputCase{"ThenStop", true},
                                         ClosedOutputCase{"ThenEndOfInput", false}),
                         [](const auto& info) { return info.param.name; });

struct CutLineCase {
  std::string name;
  std::string lastLine;  // the input's last bytes, without a line feed
  bool audioBefore;      // a recording goes before it
  friend void PrintTo(const CutLineCase& c, std::ostream* out) { *out << c.name; }
};

class InputEndsMidLine : public testing::TestWithParam<CutLineCase> {};

// A last line without its line feed is still a line: a complete message is
// handled, a cut one is a syntax error, and either way the process ends.
TEST_P(InputEndsMidLine, IsReadAsALastLine) {
  const CutLineCase& c = GetParam();
  ChildProcess child({.argv = earshotCommand()});
  child.write(initLine() + "\n");
  if (c.audioBefore) child.write(audioLines(recording("goforward.raw"), 16000));
  child.write(c.lastLine);
  ProcessRun exit = child.wait();

  std::string error = jsonErrorOf(c.lastLine);
  bool failed = !error.empty();
  expectCleanEnd(exit, failed ? 1 : 0);
  ASSERT_GE(exit.lines.size(), 2u);
  EXPECT_EQ(exit.lines.front(), readyLine());
  EXPECT_EQ(exit.lines.back(), failed ? errorLine(error) : stoppedLine());
  for (size_t i = 1; i + 1 < exit.lines.size(); ++i) {
    EXPECT_EQ(exit.lines[i].rfind(R"({"type":"transcript",)", 0), 0u) << exit.lines[i];
  }
  if (!c.audioBefore) {
    EXPECT_EQ(exit.lines.size(), 2u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, InputEndsMidLine,
    testing::Values(CutLineCase{"InsideAString",
                                R"({"type":"audio","sampleRate":16000,"pcm":"AAAA)", false},
                    CutLineCase{"InsideAStringAfterSpeech",
                                R"({"type":"audio","sampleRate":16000,"pcm":"AA)", true},
                    CutLineCase{"InsideAUtf8Sequence", "{\"type\":\"stop\",\"x\":\"\xc3", false},
                    CutLineCase{"RightAfterACompleteStop", R"({"type":"stop"})", false},
                    CutLineCase{"RightAfterCompleteAudio",
                                R"({"type":"audio","sampleRate":16000,"pcm":"AAAAAAAA"})", true}),
    [](const auto& info) { return info.param.name; });

// A host that dies closes both pipes at once. Here it dies while the
// program is blocked writing transcripts into a full one-page pipe.
TEST(HostGone, WhileTheProgramIsBlockedWritingItEnds) {
  ChildProcess child({.argv = earshotCommand(), .readOutput = false, .smallOutputPipe = true});
  std::string input = initLine() + "\n" + audioLines(book(), 16000);
  // Feeding on a thread of its own: the program reads its input whatever
  // its output does, but the test must watch the output meanwhile.
  std::thread feeder([&] { child.write(input); });
  // Polling only to learn when the state is reached; the guard turns a
  // program that never writes enough into a failure instead of a hang.
  const auto guard = std::chrono::steady_clock::now() + std::chrono::minutes(5);
  while (!child.writingOutput() && std::chrono::steady_clock::now() < guard) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  feeder.join();
  ASSERT_TRUE(child.writingOutput()) << "the program never blocked writing its output";
  child.closeOutput();
  child.closeInput();
  expectCleanEnd(child.wait(), 0);
}

// A host that dies with an hour of audio still queued: with nobody to read
// the transcripts, the program does not decode it (which takes over ten
// minutes here) but ends as soon as its input has ended. Left to decode, it
// runs into the test's time-out.
struct GoneHostCase {
  std::string name;
  std::string ending;  // the input's last lines
  friend void PrintTo(const GoneHostCase& c, std::ostream* out) { *out << c.name; }
};

class HostGoneWithAudioQueued : public testing::TestWithParam<GoneHostCase> {};

TEST_P(HostGoneWithAudioQueued, EndsWithoutDecodingIt) {
  const std::string speech = audioLines(book(), 16000);  // 25 s
  ChildProcess child({.argv = earshotCommand(), .readOutput = false});
  child.write(initLine() + "\n");
  ASSERT_EQ(child.readLine(), readyLine());
  child.closeOutput();
  for (int i = 0; i < 144; ++i) ASSERT_TRUE(child.write(speech));
  child.write(GetParam().ending);
  expectCleanEnd(child.wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Hardening, HostGoneWithAudioQueued,
    testing::Values(GoneHostCase{"ThenStop", stopLine() + "\n"}, GoneHostCase{"ThenEndOfInput", ""},
                    // The flush's session has the hour queued.
                    GoneHostCase{"ThenFlushAndStop", flushLine() + "\n" + stopLine() + "\n"}),
    [](const auto& info) { return info.param.name; });

// A host that set O_NONBLOCK on the pipes it shares with the program. The
// program finds no input whenever the host is slower than it, and a full
// output pipe whenever the host does not read: it must wait in both cases,
// and hear and write the same as with blocking pipes, every line whole.
TEST(NonBlockingPipes, SameConversationAsWithBlockingOnes) {
  std::vector<int16_t> speech = book();
  std::string input = initLine() + "\n" + audioLines(speech, 16000) + stopLine() + "\n";
  ProcessRun blocking = runEarshot({}, input);

  ChildProcess child({.argv = earshotCommand(),
                      .readOutput = false,
                      .smallOutputPipe = true,
                      .nonBlockingPipes = true});
  // The input comes in pieces with pauses, so the program keeps finding
  // nothing to read; the output is not read until all of it is written, so
  // the program keeps finding a full pipe.
  const size_t piece = 64 * 1024;
  for (size_t at = 0; at < input.size(); at += piece) {
    ASSERT_TRUE(child.write(std::string_view(input).substr(at, piece)));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ProcessRun nonBlocking = child.wait();

  expectCleanEnd(nonBlocking, 0);
  ASSERT_GE(nonBlocking.lines.size(), 3u);
  EXPECT_EQ(nonBlocking.lines.front(), readyLine());
  EXPECT_EQ(nonBlocking.lines.back(), stoppedLine());
  for (size_t i = 1; i + 1 < nonBlocking.lines.size(); ++i) {
    EXPECT_EQ(nonBlocking.lines[i].rfind(R"({"type":"transcript",)", 0), 0u)
        << nonBlocking.lines[i];
  }
  std::vector<Transcript> heard = transcripts(nonBlocking.lines);
  std::vector<Transcript> expected = transcripts(blocking.lines);
  EXPECT_EQ(std::count_if(heard.begin(), heard.end(), [](auto& t) { return t.isFinal; }),
            std::count_if(expected.begin(), expected.end(), [](auto& t) { return t.isFinal; }));
  EXPECT_EQ(finalText(heard), finalText(expected));
  EXPECT_FALSE(finalText(expected).empty());
}

struct OneShotCase {
  std::vector<std::string> arguments;
  friend void PrintTo(const OneShotCase& c, std::ostream* out) {
    for (const auto& word : c.arguments) *out << word << ' ';
  }
};

class OneShotModeWithOutputClosed : public testing::TestWithParam<OneShotCase> {};

TEST_P(OneShotModeWithOutputClosed, EndsNormally) {
  ChildProcess child({.argv = earshotCommand(GetParam().arguments), .readOutput = false});
  child.closeOutput();
  expectCleanEnd(child.wait(), 0);
}

INSTANTIATE_TEST_SUITE_P(Hardening, OneShotModeWithOutputClosed,
                         testing::Values(OneShotCase{{"--locales"}},
                                         OneShotCase{{"--install", "en-US"}},
                                         OneShotCase{{"--release", "en-US"}}),
                         [](const auto& info) { return info.param.arguments[0].substr(2); });

// The mode fails while the analyzer still has most of a minute of audio
// queued: the analyzer stops without decoding the rest and no thread keeps
// the process alive.
TEST(FailingMode, EndsTheProcessWithAMinuteOfAudioQueued) {
  std::string speech = audioLines(book(), 16000);
  ChildProcess child({.argv = earshotCommand()});
  child.write(initLine() + "\n" + speech + speech + speech + "[]\n" + stopLine() + "\n");
  ProcessRun exit = child.wait();
  expectCleanEnd(exit, 1);
  ASSERT_GE(exit.lines.size(), 2u);
  EXPECT_EQ(exit.lines.front(), readyLine());
  EXPECT_EQ(exit.lines.back(), errorLine("Invalid audio message"));
}

}  // namespace
}  // namespace earshot::testkit
