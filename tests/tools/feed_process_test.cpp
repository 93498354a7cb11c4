// earshot-feed as a person runs it: first against small stand-ins for
// earshot that record what they are sent, then against the real earshot on
// real recordings.
#include <gtest/gtest.h>
#include <simdjson.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/child_process.h"
#include "tools/feed/protocol_lines.h"

namespace earshot::feed {
namespace {

namespace fs = std::filesystem;
using earshot::testing::ProcessRun;
using earshot::testing::runProgram;

const std::string kGoForward = TESTDATA "/goforward.raw";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string rawBytes(const std::vector<int16_t>& samples) {
  std::string bytes;
  for (int16_t s : samples) {
    bytes += char(uint16_t(s) & 0xff);
    bytes += char(uint16_t(s) >> 8);
  }
  return bytes;
}

class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/feed-process-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ::setenv("FEED_CAPTURE", (dir_ / "capture").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string script(const std::string& body) {
    fs::path path = dir_ / "earshot";
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
    return path.string();
  }

  fs::path dir_;
};

// What goes down the pipe: init with the locale as given, audio cut at the
// chunk size and at each flush point, a flush every 0.25 s of audio, stop.
TEST_F(StandIn, SendsInitAudioFlushesAndStop) {
  std::string earshot = script(
      "echo '{\"type\":\"ready\",\"locale\":\"de-DE\",\"sampleRate\":16000}'\n"
      "cat > \"$FEED_CAPTURE\"\n"
      "echo '{\"type\":\"transcript\",\"text\":\"eins\",\"isFinal\":false}'\n"
      "echo '{\"type\":\"transcript\",\"text\":\"eins zwei\",\"isFinal\":true}'\n"
      "echo '{\"type\":\"stopped\"}'\n");
  std::vector<int16_t> samples(8000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(i * 7919);
  std::ofstream(dir_ / "in.raw", std::ios::binary) << rawBytes(samples);

  auto piece = [&](size_t from, size_t count) {
    return audioLine(std::span(samples.data() + from, count), 16000);
  };
  const std::string expected = initLine("de_DE") + piece(0, 1600) + piece(1600, 1600) +
                               piece(3200, 800) + flushLine() + piece(4000, 1600) +
                               piece(5600, 1600) + piece(7200, 800) + flushLine() + stopLine();

  const std::vector<std::string> common{FEED_BINARY, "--earshot",     earshot,
                                        "--locale",  "de_DE",         "--rate",
                                        "16000",     "--flush-every", "0.25"};
  for (bool fromStdin : {false, true}) {
    SCOPED_TRACE(fromStdin ? "standard input" : "raw file");
    std::vector<std::string> argv = common;
    argv.push_back(fromStdin ? "-" : (dir_ / "in.raw").string());
    ProcessRun run = runProgram(argv, fromStdin ? rawBytes(samples) : "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "eins zwei\n");
    EXPECT_EQ(readFile(dir_ / "capture"), expected);
  }
}

// An earshot that ends early must neither hang the tool nor kill it with
// SIGPIPE; its status and its error text come through.
TEST_F(StandIn, EarshotEndingEarlyGivesItsStatusAndText) {
  struct Case {
    const char* body;
    int status;
    const char* err;
  };
  const Case cases[] = {
      {"echo '{\"type\":\"ready\",\"locale\":\"en-US\",\"sampleRate\":16000}'\n"
       "read -r line; read -r line\n"
       "echo '{\"type\":\"error\",\"message\":\"Invalid audio message\"}'\nexit 1\n",
       1, "Invalid audio message\n"},
      {"exit 3\n", 3, "earshot ended with status 3 and no error message\n"},
      {"kill -TERM $$\n", 128 + SIGTERM, "earshot ended by signal 15\n"},
  };
  // A minute of audio: far more than a pipe holds.
  std::ofstream(dir_ / "long.raw", std::ios::binary) << std::string(16000 * 2 * 60, '\x01');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    ProcessRun run = runProgram({FEED_BINARY, "--earshot", script(c.body), "--rate", "16000",
                                 (dir_ / "long.raw").string()});
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

// --- The real earshot on real recordings ---------------------------------

std::vector<int16_t> goForward() {
  std::string bytes = readFile(kGoForward);
  std::vector<int16_t> samples(bytes.size() / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] =
        int16_t(uint16_t(uint8_t(bytes[2 * i])) | uint16_t(uint8_t(bytes[2 * i + 1])) << 8);
  }
  return samples;
}

void expectWords(const std::string& text, std::initializer_list<const char*> words) {
  for (const char* word : words) EXPECT_NE(text.find(word), text.npos) << word << " in: " << text;
}

TEST(RealEarshot, PrintsFinalsOfARecording) {
  ProcessRun run =
      runProgram({FEED_BINARY, "--earshot", EARSHOT_BINARY, "--rate", "16000", kGoForward});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::vector<std::string> finals = splitLines(run.out);
  ASSERT_FALSE(finals.empty());
  for (const std::string& final : finals) EXPECT_FALSE(final.empty());
  expectWords(run.out, {"forward", "ten", "meters"});
}

// The same audio at 48 kHz, raw on standard input (as from a microphone).
TEST(RealEarshot, TranscribesRawStandardInputAt48k) {
  std::vector<int16_t> slow = goForward();
  std::vector<int16_t> fast;
  for (size_t i = 0; i < slow.size(); ++i) {
    int next = i + 1 < slow.size() ? slow[i + 1] : slow[i];
    for (int k = 0; k < 3; ++k) fast.push_back(int16_t((slow[i] * (3 - k) + next * k) / 3));
  }
  ProcessRun run = runProgram(
      {FEED_BINARY, "--earshot", EARSHOT_BINARY, "--rate", "48000", "--chunk-ms", "40", "-"},
      rawBytes(fast));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  expectWords(run.out, {"forward", "ten", "meters"});
}

// --json shows earshot's own lines: its finals, byte for byte as earshot
// writes them to a host that sends the same audio itself.
TEST(RealEarshot, JsonLinesAreEarshotsOwn) {
  std::vector<int16_t> samples = goForward();
  std::string session = initLine("en-US");
  for (size_t at = 0; at < samples.size(); at += 1600) {
    session += audioLine(
        std::span(samples.data() + at, std::min<size_t>(1600, samples.size() - at)), 16000);
  }
  session += stopLine();
  ProcessRun direct = runProgram({EARSHOT_BINARY}, session);
  ProcessRun fed = runProgram(
      {FEED_BINARY, "--earshot", EARSHOT_BINARY, "--json", "--rate", "16000", kGoForward});
  ASSERT_EQ(direct.status, 0) << direct.out;
  EXPECT_EQ(fed.status, 0);
  EXPECT_EQ(fed.err, "");

  auto framing = [](const std::vector<std::string>& lines) {
    std::vector<std::string> kept;
    for (const std::string& line : lines) {
      if (line.find("\"isFinal\":false") == line.npos) kept.push_back(line);
    }
    return kept;
  };
  std::vector<std::string> fedLines = splitLines(fed.out);
  EXPECT_EQ(framing(fedLines), framing(splitLines(direct.out))) << fed.out;
  simdjson::dom::parser parser;
  for (const std::string& line : fedLines) EXPECT_FALSE(parser.parse(line).error()) << line;
  ASSERT_GE(fedLines.size(), 2u);
  EXPECT_EQ(fedLines.back(), "{\"type\":\"stopped\"}");
}

TEST(RealEarshot, UnsupportedLocaleShowsEarshotsErrorAndStatus) {
  ProcessRun run = runProgram({FEED_BINARY, "--earshot", EARSHOT_BINARY, "--locale", "xx-YY",
                               "--rate", "16000", kGoForward});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "Apple Speech does not support language xx-YY. Choose a supported language in Audio "
            "settings.\n");
}

}  // namespace
}  // namespace earshot::feed
