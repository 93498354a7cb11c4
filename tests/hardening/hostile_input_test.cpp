// The built program against input a careless or hostile host might send.
// Every case ends in one clear "error" line and status 1, or in a normal
// run; never in a crash, a hang or a byte on standard error.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host_audio.h"
#include "tests/support/host_lines.h"

namespace earshot::testkit {
namespace {

std::string allByteValues() {
  std::string bytes;
  for (int value = 0; value < 256; ++value) {
    if (value != '\n') bytes += static_cast<char>(value);
  }
  return bytes;
}

const std::string kAudioStart = R"({"type":"audio","sampleRate":16000,"pcm":")";

struct HostileCase {
  std::string name;
  // Writes standard input after the "init" line (or instead of it when
  // `beforeInit`); it may stop early once the program stops reading.
  std::function<void(ChildProcess&)> send;
  // The error text, or empty for a normal run (ready, stopped).
  std::function<std::string()> error;
  bool beforeInit = false;
  // Bytes written before the "init" line.
  std::string beforeInitLine = {};

  friend void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }
};

void sendLine(ChildProcess& child, const std::string& line) {
  child.write(line + "\n");
}

// A line of `size` bytes: an audio message whose "pcm" is all 'A'.
void sendLongAudioLine(ChildProcess& child, size_t size) {
  if (!child.write(kAudioStart)) return;
  if (!writeRepeated(child, "A", size - kAudioStart.size() - 2)) return;
  child.write("\"}\n" + stopLine() + "\n");
}

void writeLines(ChildProcess& child, const std::string& line, size_t count) {
  std::string piece = line + "\n";
  writeRepeated(child, piece, piece.size() * count);
}

std::function<void(ChildProcess&)> line(std::string text) {
  return [text](ChildProcess& child) { sendLine(child, text); };
}
std::function<std::string()> text(std::string message) {
  return [message] { return message; };
}
// Large lines are made when a test runs, not when the cases are listed.
using LineMaker = std::string (*)();
std::function<void(ChildProcess&)> line(LineMaker make) {
  return [make](ChildProcess& child) { sendLine(child, make()); };
}
std::function<std::string()> jsonError(std::string line) {
  return [line] { return jsonErrorOf(line); };
}
std::function<std::string()> jsonError(LineMaker make) {
  return [make] { return jsonErrorOf(make()); };
}
const std::function<std::string()> kNormalRun = [] { return std::string(); };

std::string sampleRate(const std::string& rate) {
  return R"({"type":"audio","sampleRate":)" + rate + R"(,"pcm":"AAA="})";
}

const std::string kInvalidPcm = "Expected mono Int16 PCM with a valid sample rate";
const std::string kByteOrderMark = "\xEF\xBB\xBF";
// The parser's text for a top-level value that is not an object or array.
const std::string kImproperStructure =
    "The JSON document has an improper structure: missing or superfluous commas, braces, missing "
    "keys, etc.";

std::vector<HostileCase> hostileCases() {
  LineMaker deepArrays = [] { return std::string(1'000'000, '['); };
  LineMaker balanced = [] { return std::string(999'999, '[') + std::string(999'999, ']'); };
  LineMaker everyByte = allByteValues;
  LineMaker everyByteInPcm = [] { return kAudioStart + allByteValues() + "\"}"; };
  LineMaker equalsPcm = [] { return kAudioStart + std::string(1'900'000, '=') + "\"}"; };
  return {
      {"Line3MB", [](ChildProcess& c) { sendLongAudioLine(c, 3'000'000); },
       text("Invalid audio message")},
      {"Line100MB", [](ChildProcess& c) { sendLongAudioLine(c, 100'000'000); },
       text("Invalid audio message")},
      {"Line3MBInsteadOfInit", [](ChildProcess& c) { sendLongAudioLine(c, 3'000'000); },
       text("Expected init message"), true},
      {"InvalidUtf8InPcm", line(kAudioStart + "AA\xff=\"}"), text(kInvalidPcm)},
      {"InvalidUtf8InLocale", line("{\"type\":\"init\",\"locale\":\"en-\xff\"}"),
       text("Apple Speech does not support language en-\xEF\xBF\xBD. Choose a supported "
            "language in Audio settings."),
       true},
      {"InvalidUtf8InIgnoredMember", line("{\"type\":\"stop\",\"x\":\"\xed\xa0\x80 \xc0\xaf\"}"),
       kNormalRun},
      {"MillionOpenBrackets", line(deepArrays), jsonError(deepArrays)},
      {"MillionOpenBracketsInsteadOfInit", line(deepArrays), jsonError(deepArrays), true},
      {"NestedDeeperThanTheParserGoes", line(balanced), jsonError(balanced)},
      {"RateOf1e400", line(sampleRate("1e400")), jsonError(sampleRate("1e400"))},
      {"RateOfMinus1e400", line(sampleRate("-1e400")), jsonError(sampleRate("-1e400"))},
      {"RateOf1eMinus400", line(sampleRate("1e-400")), text(kInvalidPcm)},
      {"RateOfMinusZero", line(sampleRate("-0")), text(kInvalidPcm)},
      {"RateOfNaN", line(sampleRate("NaN")), jsonError(sampleRate("NaN"))},
      {"RateOfInfinity", line(sampleRate("Infinity")), jsonError(sampleRate("Infinity"))},
      {"RateOfNaNAsText", line(sampleRate("\"NaN\"")), text(kInvalidPcm)},
      {"IgnoredMemberOf1e400", line(R"({"type":"stop","x":1e400})"),
       jsonError(R"({"type":"stop","x":1e400})")},
      {"PcmOfAlmost2MBOfEquals", line(equalsPcm), text(kInvalidPcm)},
      {"EveryByteValue", line(everyByte), jsonError(everyByte)},
      {"EveryByteValueInPcm", line(everyByteInPcm), jsonError(everyByteInPcm)},
      {"EveryByteValueInsteadOfInit", line(everyByte), jsonError(everyByte), true},
      {"NulAfterTheObject", line(std::string("{\"type\":\"stop\"}\0", 16)),
       jsonError(std::string("{\"type\":\"stop\"}\0", 16))},
      {"ByteOrderMarkBeforeInit", line(stopLine()), kNormalRun, false, kByteOrderMark},
      // Only the input's first mark is skipped, so this is the error of a
      // mark before a later line.
      {"ByteOrderMarkBeforeALaterLine", line(kByteOrderMark + stopLine()),
       jsonError(kByteOrderMark + kByteOrderMark + stopLine())},
      {"NumberInsteadOfInit", line("3"), text(kImproperStructure), true},
      {"TextInsteadOfInit", line("\"init\""), text(kImproperStructure), true},
      {"NullInsteadOfInit", line("null"), text(kImproperStructure), true},
      {"FloodOfOneSampleLines",
       [](ChildProcess& c) { writeLines(c, sampleRate("16000"), 100'000); }, kNormalRun},
      {"FloodOfOneSampleLinesToConvert",
       [](ChildProcess& c) { writeLines(c, sampleRate("8000"), 100'000); }, kNormalRun},
      {"FloodOfEmptyAudioAndFlushes",
       [](ChildProcess& c) {
         writeLines(c,
                    R"({"type":"audio","sampleRate":44100,"pcm":""})"
                    "\n"
                    R"({"type":"flush"})",
                    2000);
       },
       kNormalRun},
  };
}

class HostileInput : public testing::TestWithParam<HostileCase> {};

TEST_P(HostileInput, EndsInOneErrorLineOrANormalRun) {
  const HostileCase& c = GetParam();
  ChildProcess child({.argv = earshotCommand()});
  if (!c.beforeInit) child.write(c.beforeInitLine + initLine() + "\n");
  c.send(child);
  ProcessRun exit = child.wait();

  std::string error = c.error();
  std::vector<std::string> expected;
  if (!c.beforeInit) expected.push_back(readyLine());
  expected.push_back(error.empty() ? stoppedLine() : errorLine(error));
  EXPECT_EQ(exit.lines, expected);
  EXPECT_EQ(exit.status, error.empty() ? 0 : 1);
  EXPECT_EQ(exit.signal, 0);
  EXPECT_EQ(exit.err, "");
}

INSTANTIATE_TEST_SUITE_P(Hardening, HostileInput, testing::ValuesIn(hostileCases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace earshot::testkit
