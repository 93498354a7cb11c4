// earshot-feed as a person runs it: first against small stand-ins for
// earshot that record what they are sent, then against the real earshot on
// real recordings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <signal.h>
#include <simdjson.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "protocol/host_lines.h"
#include "protocol/json_text.h"
#include "protocol/program_lines.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/scratch_folder.h"

namespace earshot::feed {
namespace {

namespace fs = std::filesystem;
using earshot::testkit::ProcessRun;
using earshot::testkit::readFile;
using earshot::testkit::runProgram;
using protocol::audioLine;
using protocol::flushLine;
using protocol::InitExtras;
using protocol::initLine;
using protocol::jsonString;
using protocol::parseEarshotLine;
using protocol::stopLine;

const std::string kGoForward = TESTDATA "/goforward.raw";
// What the tool always asks for: "flushed" tells where a session ends.
const InitExtras kAcknowledged = [] {
  InitExtras extras;
  extras.acknowledgeFlush = true;
  return extras;
}();

// earshot-feed run with `earshot` and the arguments, and all it should give.
struct FeedRun {
  std::vector<std::string> arguments;
  int status;
  std::string err, out;
};

void expectFeedRun(const std::string& earshot, const FeedRun& expected) {
  SCOPED_TRACE(testing::PrintToString(expected.arguments));
  std::vector<std::string> argv{FEED_BINARY, "--earshot", earshot};
  argv.insert(argv.end(), expected.arguments.begin(), expected.arguments.end());
  ProcessRun run = runProgram(argv);
  EXPECT_EQ(run.status, expected.status);
  EXPECT_EQ(run.err, expected.err);
  EXPECT_EQ(run.out, expected.out);
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

class StandIn : public testing::Test {
 protected:
  // A short folder name: the progress test expects its file's whole path
  // on an 80-column line.
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

  // A stand-in that writes each line it is sent to the capture file (its
  // first `keep` characters; 0: all) and ends each session, at a flush or
  // at stop, with the final "words N" (N counting sessions from 1, timed
  // from 0.1 s to 0.2 s of its session). It answers a flush with "flushed"
  // when init asked for that, unless `answersFlushes` is false.
  std::string sessionsStandIn(int keep = 0, bool answersFlushes = true) {
    std::string format = keep > 0 ? "%." + std::to_string(keep) + "s\\n" : "%s\\n";
    return script(R"(echo '{"type":"ready","locale":"en-US","sampleRate":16000}'
n=0; ack=
exec 3> "$FEED_CAPTURE"
while read -r line; do
  printf ')" + format +
                  R"(' "$line" >&3
  case "$line" in
    *'"acknowledgeFlush":true'*) ack=)" +
                  (answersFlushes ? "yes" : "") + R"(;;
    *'"type":"flush"'*|*'"type":"stop"'*)
      n=$((n+1))
      printf '{"type":"transcript","text":"words %s","isFinal":true,"start":0.1,"end":0.2,"words":[{"text":"words","start":0.1,"end":0.15},{"text":"%s","start":0.15,"end":0.2}]}\n' $n $n
      case "$line" in *stop*) break;; esac
      if [ -n "$ack" ]; then echo '{"type":"flushed"}'; fi;;
  esac
done
echo '{"type":"stopped"}'
)");
  }

  // earshot-feed running `earshot` on raw 16 kHz input, with `arguments`.
  ProcessRun feedRaw(const std::string& earshot, const std::vector<std::string>& arguments,
                     std::string_view input = {}) {
    std::vector<std::string> argv{FEED_BINARY, "--earshot", earshot, "--rate", "16000"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return runProgram(argv, input);
  }

  fs::path dir_;
};

// What goes down the pipe: init with the locale as given (asking for
// "flushed"), audio cut at the chunk size and at each flush point, a flush
// every 0.25 s of audio, stop; each session's final is shown.
TEST_F(StandIn, SendsInitAudioFlushesAndStop) {
  std::string earshot = sessionsStandIn();
  std::vector<int16_t> samples(8000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(i * 7919);
  std::ofstream(dir_ / "in.raw", std::ios::binary) << rawBytes(samples);

  auto piece = [&](size_t from, size_t count) {
    return audioLine(std::span(samples.data() + from, count), 16000);
  };
  const std::string expected = initLine("de_DE", kAcknowledged) + piece(0, 1600) +
                               piece(1600, 1600) + piece(3200, 800) + flushLine() +
                               piece(4000, 1600) + piece(5600, 1600) + piece(7200, 800) +
                               flushLine() + stopLine();

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
    EXPECT_EQ(run.out, "words 1\nwords 2\nwords 3\n");
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
      // Any failure of earshot is status 1, as the tool's own are.
      {"exit 3\n", 1, "earshot-feed: earshot ended with status 3 and no error message\n"},
      {"kill -TERM $$\n", 1, "earshot-feed: earshot was killed by SIGTERM (signal 15)\n"},
      {"kill -KILL $$\n", 1, "earshot-feed: earshot was killed by SIGKILL (signal 9)\n"},
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

// Several inputs go through one earshot with a flush between them; each
// input's lines appear under its name, earshot's "flushed" telling where
// one input's session ends.
TEST_F(StandIn, SeveralInputsEachUnderItsName) {
  std::string earshot = sessionsStandIn(40);
  std::ofstream(dir_ / "a.raw", std::ios::binary) << std::string(3200, '\x01');
  std::ofstream(dir_ / "b.raw", std::ios::binary) << std::string(1600, '\x02');
  std::ofstream(dir_ / "c.raw", std::ios::binary) << std::string(800, '\x03');
  std::string a = (dir_ / "a.raw").string(), b = (dir_ / "b.raw").string(),
              c = (dir_ / "c.raw").string();
  ProcessRun run = runProgram({FEED_BINARY, "--earshot", earshot, "--rate", "16000", a,
                               (dir_ / "missing.raw").string(), b, c});
  EXPECT_EQ(run.status, 1);  // one input failed
  EXPECT_EQ(run.err, "earshot-feed: " + (dir_ / "missing.raw").string() + ": no such file\n");
  EXPECT_EQ(run.out, "==> " + a + " <==\nwords 1\n\n==> " + b + " <==\nwords 2\n\n==> " + c +
                         " <==\nwords 3\n");
  EXPECT_EQ(readFile(dir_ / "capture"), initLine("en-US", kAcknowledged).substr(0, 40) + "\n" +
                                            "{\"type\":\"audio\",\"sampleRate\":16000,\"pcm\"\n"
                                            "{\"type\":\"flush\"}\n"
                                            "{\"type\":\"audio\",\"sampleRate\":16000,\"pcm\"\n"
                                            "{\"type\":\"flush\"}\n"
                                            "{\"type\":\"audio\",\"sampleRate\":16000,\"pcm\"\n"
                                            "{\"type\":\"stop\"}\n");

  // One file per input with --output-dir, named after it.
  fs::create_directory(dir_ / "out");
  ProcessRun split = runProgram({FEED_BINARY, "--earshot", earshot, "--rate", "16000",
                                 "--output-dir", (dir_ / "out").string(), a, b});
  EXPECT_EQ(split.status, 0) << split.err;
  EXPECT_EQ(split.out, "");
  EXPECT_EQ(readFile(dir_ / "out" / "a.txt"), "words 1\n");
  EXPECT_EQ(readFile(dir_ / "out" / "b.txt"), "words 2\n");
}

// Word times land under the input and at the time of the session that
// "flushed" starts: --flush-every sessions count from their flush point,
// and an input that begins right after such a flush starts at 0 without a
// flush of its own. An earshot that never answers a flush is named for it.
TEST_F(StandIn, SessionsEndWhereEarshotSaysFlushed) {
  std::ofstream(dir_ / "a.raw", std::ios::binary) << std::string(16000, '\x01');  // 0.5 s
  std::ofstream(dir_ / "b.raw", std::ios::binary) << std::string(3200, '\x02');   // 0.1 s
  const std::string a = (dir_ / "a.raw").string(), b = (dir_ / "b.raw").string();
  auto word = [](const std::string& input, const std::string& text, const char* start,
                 const char* end) {
    return "{\"input\":" + jsonString(input) + ",\"text\":\"" + text + "\",\"start\":" + start +
           ",\"end\":" + end + "}\n";
  };
  struct Case {
    bool answersFlushes;
    std::string out, err;
  };
  const Case cases[] = {
      {true,
       word(a, "words", "0.100", "0.150") + word(a, "1", "0.150", "0.200") +
           word(a, "words", "0.350", "0.400") + word(a, "2", "0.400", "0.450") +
           word(b, "words", "0.100", "0.150") + word(b, "3", "0.150", "0.200"),
       ""},
      // Everything stays in the first session.
      {false,
       word(a, "words", "0.100", "0.150") + word(a, "1", "0.150", "0.200") +
           word(a, "words", "0.100", "0.150") + word(a, "2", "0.150", "0.200") +
           word(a, "words", "0.100", "0.150") + word(a, "3", "0.150", "0.200"),
       "earshot-feed: this earshot does not answer \"flush\", so lines after the first flush "
       "may stand under the wrong input or time\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answersFlushes ? "answers flushes" : "never answers");
    ProcessRun run =
        runProgram({FEED_BINARY, "--earshot", sessionsStandIn(0, c.answersFlushes), "--rate",
                    "16000", "--flush-every", "0.25", "--format", "words", a, b});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

// Each failure is one line naming the input and what is wrong with it.
TEST_F(StandIn, EveryMessageSaysWhatIsWrongWithWhichInput) {
  std::string silent = script(
      "echo '{\"type\":\"ready\",\"locale\":\"en-US\",\"sampleRate\":16000}'\n"
      "cat > /dev/null\necho '{\"type\":\"stopped\"}'\n");
  fs::path d = dir_;
  std::ofstream(d / "empty.wav");
  std::ofstream(d / "notes.txt") << "just some words";
  std::ofstream(d / "quiet.raw", std::ios::binary) << std::string(3200, '\0');
  // A WAV header and nothing after it.
  std::string header(
      "RIFF\x24\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x80\x3e\0\0\0\x7d\0\0\x02\0\x10\0data\0\0\0\0",
      44);
  std::ofstream(d / "header.wav", std::ios::binary) << header;
  // A WAV header that claims 1 Hz, with a second of samples at that rate.
  std::string oneHertz = header;
  oneHertz.replace(4, 1, "\x26");
  oneHertz.replace(24, 8, std::string("\x01\0\0\0\x02\0\0\0", 8));
  oneHertz.replace(40, 4, std::string("\x02\0\0\0", 4));
  std::ofstream(d / "onehertz.wav", std::ios::binary) << oneHertz << "\x01\x01";
  std::string p = d.string() + "/";
  const FeedRun cases[] = {
      {{p + "nosuch.wav"}, 1, "earshot-feed: " + p + "nosuch.wav: no such file\n", ""},
      {{p + "empty.wav"}, 1, "earshot-feed: " + p + "empty.wav: the file is empty\n", ""},
      {{d.string()}, 1, "earshot-feed: " + d.string() + ": a directory, not an audio file\n", ""},
      {{p + "notes.txt"},
       1,
       "earshot-feed: " + p +
           "notes.txt: not audio that this tool can read (WAV, FLAC, Ogg or "
           "MP3)\n",
       ""},
      {{p + "header.wav"}, 1, "earshot-feed: " + p + "header.wav: holds no audio\n", ""},
      {{p + "onehertz.wav"},
       1,
       "earshot-feed: " + p +
           "onehertz.wav: says its sample rate is 1 Hz; this tool reads 4000 to "
           "768000 Hz\n",
       ""},
      {{p + "quiet.raw"},
       1,
       "earshot-feed: " + p +
           "quiet.raw: raw PCM has no header to tell its rate: give --rate (and --channels when "
           "it is not mono)\n",
       ""},
      {{"--rate", "16000", p + "header.wav"},
       1,
       "earshot-feed: " + p + "header.wav: a WAV file, not raw PCM: leave out --rate\n",
       ""},
      {{"--rate", "16000", p + "quiet.raw"},
       0,
       "earshot-feed: " + p + "quiet.raw: no speech heard\n",
       ""},
      {{"--rate", "16000", "--format", "srt", p + "quiet.raw"},
       0,
       "earshot-feed: " + p + "quiet.raw: no speech heard\n",
       ""},
      {{"--version"}, 0, "", "earshot-feed " FEED_VERSION "\n"},
      {{"--chunk-ms", "0", "a.wav"},
       2,
       "earshot-feed: --chunk-ms wants a whole number from 1 to 10000, not \"0\"\nTry "
       "earshot-feed --help.\n",
       ""},
  };
  for (const FeedRun& c : cases) expectFeedRun(silent, c);
}

// Captions and words ask earshot for times (and words for confidence);
// vocabulary from options and from a file becomes "contextualStrings";
// every init asks for "flushed". An earshot that gives no times is named
// for it.
TEST_F(StandIn, InitAsksForWhatTheOutputNeeds) {
  std::string earshot = script(
      "read -r line; printf '%s\\n' \"$line\" > \"$FEED_CAPTURE\"\n"
      "echo '{\"type\":\"ready\",\"locale\":\"en-US\",\"sampleRate\":16000}'\n"
      "cat > /dev/null\n"
      "echo '{\"type\":\"transcript\",\"text\":\"hello there\",\"isFinal\":true}'\n"
      "echo '{\"type\":\"stopped\"}'\n");
  std::ofstream(dir_ / "a.raw", std::ios::binary) << std::string(3200, '\x01');
  std::ofstream(dir_ / "terms.txt") << "pull request\r\n\n  \nKsenia Wojcik\n";
  std::string a = (dir_ / "a.raw").string();
  struct Case {
    std::vector<std::string> options;
    std::string init, out, err;
  };
  const std::string noTimes =
      "earshot-feed: this earshot gave no word times, so captions and words are missing\n";
  const Case cases[] = {
      {{}, R"({"type":"init","locale":"en-US","acknowledgeFlush":true})", "hello there\n", ""},
      {{"--format", "srt"},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange"],"acknowledgeFlush":true})",
       "",
       noTimes},
      {{"--format", "vtt"},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange"],"acknowledgeFlush":true})",
       "WEBVTT\n\n",
       noTimes},
      {{"--format", "words", "--vocabulary", "earshot", "--vocabulary-file",
        (dir_ / "terms.txt").string()},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange","transcriptionConfidence"],"contextualStrings":["earshot","pull request","Ksenia Wojcik"],"acknowledgeFlush":true})",
       "",
       noTimes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> argv{FEED_BINARY, "--earshot", earshot, "--rate", "16000", a};
    argv.insert(argv.end(), c.options.begin(), c.options.end());
    ProcessRun run = runProgram(argv);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFile(dir_ / "capture"), c.init + "\n");
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

// Something that never says "ready" (here cat, echoing what it is sent)
// is given up on after --ready-timeout, with a line that says so.
TEST_F(StandIn, NoReadyWithinTheTimeLimit) {
  std::ofstream(dir_ / "a.raw", std::ios::binary) << std::string(3200, '\x01');
  ProcessRun run = runProgram({FEED_BINARY, "--earshot", "/bin/cat", "--ready-timeout", "0.5",
                               "--rate", "16000", (dir_ / "a.raw").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "earshot-feed: /bin/cat did not start within 0.5 s (no \"ready\" line); is it "
            "earshot? --ready-timeout sets the limit\n");
  EXPECT_EQ(run.out, "");
}

// Every JSON line names the file it comes from, with one input as with
// several, so the schema does not change with the count; standard input
// has no name to give.
TEST_F(StandIn, JsonAndWordsLinesNameTheirFile) {
  std::string earshot = sessionsStandIn();
  std::ofstream(dir_ / "a.raw", std::ios::binary) << std::string(3200, '\x01');
  std::ofstream(dir_ / "b.raw", std::ios::binary) << std::string(3200, '\x02');
  std::string a = (dir_ / "a.raw").string(), b = (dir_ / "b.raw").string();
  auto final = [](const std::string& input, int n) {
    return "{" + input + R"("type":"transcript","text":"words )" + std::to_string(n) +
           R"(","isFinal":true,"start":0.1,"end":0.2,"words":[{"text":"words","start":0.1,"end":0.15},{"text":")" +
           std::to_string(n) + R"(","start":0.15,"end":0.2}]})" + "\n";
  };
  const std::string ready = R"("type":"ready","locale":"en-US","sampleRate":16000})";
  const std::string inA = "\"input\":\"" + a + "\",", inB = "\"input\":\"" + b + "\",";
  struct Case {
    std::vector<std::string> arguments;
    std::string in, out;
  };
  const Case cases[] = {
      {{"--json", a},
       "",
       "{" + inA + ready + "\n" + final(inA, 1) + "{" + inA + R"("type":"stopped"})" + "\n"},
      {{"--json", a, b},
       "",
       "{" + inA + ready + "\n" + final(inA, 1) + final(inB, 2) + "{" + inB +
           R"("type":"stopped"})" + "\n"},
      {{"--json", "-"},
       std::string(3200, '\x01'),
       "{" + ready + "\n" + final("", 1) + R"({"type":"stopped"})" + "\n"},
      {{"--format", "words", a},
       "",
       "{" + inA + R"("text":"words","start":0.100,"end":0.150})" + "\n{" + inA +
           R"("text":"1","start":0.150,"end":0.200})" + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    ProcessRun run = feedRaw(earshot, c.arguments, c.in);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, c.out);
  }
}

// Phrases earshot would refuse are named here, by phrase or by file and
// line, as a command line this tool cannot run (status 2); earshot is not
// started.
TEST_F(StandIn, VocabularyMistakesAreNamed) {
  std::string earshot = script("echo started > \"$FEED_CAPTURE\"\nexit 1\n");
  std::ofstream(dir_ / "a.raw", std::ios::binary) << std::string(3200, '\x01');
  fs::path d = dir_;
  std::ofstream(d / "long.txt")
      << "fine\n\none two three four five six seven eight nine ten eleven\n";
  std::ofstream(d / "binary.txt", std::ios::binary)
      << std::string("fine\nPK\x03\x04\0\0\x14\n", 12);
  std::ofstream(d / "latin1.txt", std::ios::binary) << "caf\xe9\n";
  std::ofstream(d / "bytes.txt") << std::string(101, 'x') << "\n";
  std::ofstream many(d / "many.txt");
  for (int i = 0; i < 101; ++i) many << "phrase " << i << "\n";
  many.close();
  fs::create_directory(d / "folder");
  std::string p = d.string() + "/";
  const std::string limits = "; a phrase may have 1 to 10 words and at most 100 bytes";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"--vocabulary", "one two three four five six seven eight nine ten eleven"},
       "--vocabulary: \"one two three four five six seven eight nine ten eleven\" has 11 words and "
       "55 bytes" +
           limits},
      {{"--vocabulary", "  "}, "--vocabulary: a blank phrase"},
      {{"--vocabulary-file", p + "long.txt"},
       p +
           "long.txt line 3: \"one two three four five six seven eight nine ten eleven\" has 11 "
           "words and 55 bytes" +
           limits},
      {{"--vocabulary-file", p + "bytes.txt"},
       p + "bytes.txt line 1: \"" + std::string(101, 'x') + "\" has 1 words and 101 bytes" +
           limits},
      {{"--vocabulary-file", p + "binary.txt"},
       p + "binary.txt line 2: not text (one phrase per line, in UTF-8)"},
      {{"--vocabulary-file", p + "latin1.txt"},
       p + "latin1.txt line 1: not text (one phrase per line, in UTF-8)"},
      {{"--vocabulary-file", p + "folder"},
       "--vocabulary-file " + p + "folder: a directory, not a file of phrases"},
      {{"--vocabulary-file", p + "nosuch.txt"},
       "--vocabulary-file " + p + "nosuch.txt: no such file"},
      {{"--vocabulary-file", p + "many.txt"}, "101 vocabulary phrases; earshot takes at most 100"},
  };
  for (const auto& [arguments, message] : cases) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    std::vector<std::string> line{(d / "a.raw").string()};
    line.insert(line.end(), arguments.begin(), arguments.end());
    ProcessRun run = feedRaw(earshot, line);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "earshot-feed: " + message + "\nTry earshot-feed --help.\n");
    EXPECT_EQ(run.out, "");
    EXPECT_FALSE(fs::exists(d / "capture"));
  }
}

// An output that is one of the inputs, or two inputs that would share one
// output file, are refused before anything is written: the recordings and
// what was there stay as they were.
TEST_F(StandIn, OutputsNeverDestroyOrMixInputs) {
  std::string earshot = sessionsStandIn();
  fs::path d = dir_;
  fs::create_directories(d / "x");
  fs::create_directories(d / "y");
  fs::create_directories(d / "out");
  const std::string audio(3200, '\x01');
  for (const char* name : {"a.raw", "x/talk.raw", "y/talk.raw", "out/a.jsonl"}) {
    std::ofstream(d / name, std::ios::binary) << audio;
  }
  fs::create_symlink(d / "a.raw", d / "link.txt");
  std::string a = (d / "a.raw").string();
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const Case cases[] = {
      {{"--output", a, a}, a + " is one of the inputs: it would be overwritten"},
      // The same file by another path, and through a symbolic link.
      {{"--output", (d / "x" / ".." / "a.raw").string(), a},
       (d / "x" / ".." / "a.raw").string() + " is one of the inputs: it would be overwritten"},
      {{"--output", (d / "link.txt").string(), a},
       (d / "link.txt").string() + " is one of the inputs: it would be overwritten"},
      {{"--json", "--output-dir", (d / "out").string(), (d / "out" / "a.jsonl").string()},
       (d / "out" / "a.jsonl").string() + " is one of the inputs: it would be overwritten"},
      {{"--output-dir", (d / "out").string(), (d / "x" / "talk.raw").string(),
        (d / "y" / "talk.raw").string()},
       (d / "x" / "talk.raw").string() + " and " + (d / "y" / "talk.raw").string() +
           " would both be written to " + (d / "out" / "talk.txt").string() +
           ": give them in separate runs, or rename one"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.arguments));
    ProcessRun run = feedRaw(earshot, c.arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "earshot-feed: " + c.err + "\nTry earshot-feed --help.\n");
    for (const char* name : {"a.raw", "x/talk.raw", "y/talk.raw", "out/a.jsonl"}) {
      EXPECT_EQ(readFile(d / name), audio) << name;
    }
    EXPECT_FALSE(fs::exists(d / "out" / "talk.txt"));
    EXPECT_FALSE(fs::exists(d / "capture"));
  }
}

// An output file is written beside its target and put in place at the
// end: while earshot runs, the target still holds what it held (here the
// stand-in copies it aside), and no temporary file stays behind.
TEST_F(StandIn, OutputsArePutInPlaceWhenComplete) {
  fs::path d = dir_;
  std::string earshot = script(
      "echo '{\"type\":\"ready\",\"locale\":\"en-US\",\"sampleRate\":16000}'\n"
      "cat > /dev/null\ncp \"" +
      (d / "out" / "talk.txt").string() +
      "\" \"$FEED_CAPTURE\"\n"
      "echo '{\"type\":\"transcript\",\"text\":\"new words\",\"isFinal\":true}'\n"
      "echo '{\"type\":\"stopped\"}'\n");
  fs::create_directories(d / "out");
  std::ofstream(d / "talk.raw", std::ios::binary) << std::string(3200, '\x01');
  std::ofstream(d / "out" / "talk.txt") << "old words\n";
  fs::permissions(d / "out" / "talk.txt", fs::perms(0640));
  for (const std::vector<std::string>& target :
       {std::vector<std::string>{"--output", (d / "out" / "talk.txt").string()},
        std::vector<std::string>{"--output-dir", (d / "out").string()}}) {
    SCOPED_TRACE(target[0]);
    std::ofstream(d / "out" / "talk.txt") << "old words\n";
    std::vector<std::string> line{(d / "talk.raw").string()};
    line.insert(line.end(), target.begin(), target.end());
    ProcessRun run = feedRaw(earshot, line);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(readFile(d / "capture"), "old words\n");
    EXPECT_EQ(readFile(d / "out" / "talk.txt"), "new words\n");
    EXPECT_EQ(fs::status(d / "out" / "talk.txt").permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator(d / "out"), fs::directory_iterator()), 1);
  }

  // A symbolic link (as /dev/stdout is) is written through, not replaced.
  fs::create_symlink(d / "out" / "talk.txt", d / "link.txt");
  ProcessRun run =
      feedRaw(earshot, {(d / "talk.raw").string(), "--output", (d / "link.txt").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_symlink(d / "link.txt"));
  EXPECT_EQ(readFile(d / "out" / "talk.txt"), "new words\n");
}

// A write that fails (a full disk) is one line and status 1, whether the
// output is a file or standard output; the transcript is not reported as
// written.
TEST_F(StandIn, FailedWritesAreTold) {
  std::string earshot = sessionsStandIn();
  std::ofstream(dir_ / "a.raw", std::ios::binary) << std::string(3200, '\x01');
  std::string a = (dir_ / "a.raw").string();
  ProcessRun toFile = feedRaw(earshot, {"--output", "/dev/full", a});
  EXPECT_EQ(toFile.status, 1);
  EXPECT_EQ(toFile.err, "earshot-feed: /dev/full: cannot be written: the disk is full\n");
  ProcessRun toStandardOutput =
      runProgram({"/bin/sh", "-c", "exec \"$0\" \"$@\" > /dev/full", FEED_BINARY, "--earshot",
                  earshot, "--rate", "16000", a});
  EXPECT_EQ(toStandardOutput.status, 1);
  EXPECT_EQ(toStandardOutput.err,
            "earshot-feed: standard output: cannot be written: the disk is full\n");

  // Folders that are not there or not folders, in plain words.
  std::string missing = (dir_ / "nosuch" / "out.txt").string();
  ProcessRun noFolder = feedRaw(earshot, {"--output", missing, a});
  EXPECT_EQ(noFolder.status, 1);
  EXPECT_EQ(noFolder.err, "earshot-feed: " + missing + ": no such folder\n");
  ProcessRun notFolder = feedRaw(earshot, {"--output-dir", a, a});
  EXPECT_EQ(notFolder.status, 1);
  EXPECT_EQ(notFolder.err, "earshot-feed: " + a + ": not a directory\n");
  EXPECT_EQ(readFile(a), std::string(3200, '\x01'));
}

// Runs `argv` with standard error on a terminal of its own (a pty) and
// standard output into `out`; returns what the terminal showed.
std::string runOnTerminalError(const std::vector<std::string>& argv, const fs::path& out,
                               int* status) {
  int master = -1, slave = -1;
  EXPECT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, master);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  EXPECT_EQ(::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(slave);
  std::string shown;
  char chunk[4096];
  for (ssize_t got; (got = ::read(master, chunk, sizeof chunk)) > 0;)
    shown.append(chunk, size_t(got));
  ::close(master);  // the read ends with EIO once the child's side is closed
  ::waitpid(pid, status, 0);
  return shown;
}

// On a terminal's standard error the tool shows how far earshot has heard
// into each file, with the time gone and, once it can tell, the time
// left, and takes the line away at the end; --quiet and a standard error
// that is not a terminal show nothing.
TEST_F(StandIn, ProgressOnATerminalOnly) {
  // Heard 0.5 s, 1 s, then 1.5 s of a 2 s file, a little over a second
  // apart, then the end.
  std::string earshot = script(R"sh(echo '{"type":"ready","locale":"en-US","sampleRate":16000}'
printf '%s\n' "$(head -c 300 | head -n 1)" > "$FEED_CAPTURE"
for end in 0.5 1.0 1.5; do
  sleep 1.1
  echo '{"type":"transcript","text":"so far","isFinal":false,"start":0,"end":'$end',"words":[]}'
done
echo '{"type":"transcript","text":"all of it","isFinal":true,"start":0,"end":1.9,"words":[]}'
cat > /dev/null
echo '{"type":"stopped"}'
)sh");
  std::ofstream(dir_ / "a.raw", std::ios::binary) << std::string(64000, '\x01');  // 2 s
  std::string a = (dir_ / "a.raw").string();
  int status = -1;
  std::string shown = runOnTerminalError({FEED_BINARY, "--earshot", earshot, "--rate", "16000", a},
                                         dir_ / "out.txt", &status);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
  EXPECT_EQ(readFile(dir_ / "out.txt"), "all of it\n");
  // Times are asked for, so that the transcripts tell how far earshot is.
  EXPECT_NE(readFile(dir_ / "capture").find("\"attributeOptions\":[\"audioTimeRange\"]"),
            std::string::npos);
  // The times are the machine's: two seconds to the half, a bit more on a busy one.
  for (const char* part :
       {"  0%  0:00 elapsed", "  25%  0:0\\d elapsed", "  50%  0:0\\d elapsed, about 0:0\\d left",
        "  75%  0:0\\d elapsed, about 0:0\\d left"}) {
    EXPECT_TRUE(std::regex_search(shown, std::regex("\r\033\\[K" + a + part)))
        << part << " in " << testing::PrintToString(shown);
  }
  EXPECT_TRUE(shown.ends_with("\r\033[K")) << testing::PrintToString(shown);

  shown = runOnTerminalError({FEED_BINARY, "--earshot", earshot, "--quiet", "--rate", "16000", a},
                             dir_ / "out.txt", &status);
  EXPECT_EQ(shown, "");
  EXPECT_EQ(readFile(dir_ / "out.txt"), "all of it\n");
  EXPECT_EQ(readFile(dir_ / "capture").find("attributeOptions"), std::string::npos);

  ProcessRun piped = feedRaw(earshot, {a});
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.err, "");
  EXPECT_EQ(piped.out, "all of it\n");
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

std::string lowerCase(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Recognition of the words, whatever their case ("John" in the written
// form).
void expectWords(const std::string& text, std::initializer_list<const char*> words) {
  for (const char* word : words) {
    EXPECT_NE(lowerCase(text).find(word), text.npos) << word << " in: " << text;
  }
}

TEST(RealEarshot, PrintsFinalsOfARecording) {
  ProcessRun run =
      runProgram({FEED_BINARY, "--earshot", EARSHOT_BINARY, "--rate", "16000", kGoForward});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  std::vector<std::string> finals = splitLines(run.out);
  ASSERT_FALSE(finals.empty());
  for (const std::string& final : finals) EXPECT_FALSE(final.empty());
  // Text as people write it, unless asked for the spoken form.
  EXPECT_NE(run.out.find("Go forward 10 meters."), run.out.npos) << run.out;
  ProcessRun spoken = runProgram(
      {FEED_BINARY, "--earshot", EARSHOT_BINARY, "--rate", "16000", "--spoken", kGoForward});
  EXPECT_EQ(spoken.status, 0);
  EXPECT_EQ(spoken.out, "go forward ten meters\n");
}

// The same audio at 48 kHz, raw on standard input (as from a microphone).
TEST(RealEarshot, TranscribesRawStandardInputAt48k) {
  std::vector<int16_t> slow = goForward();
  std::vector<int16_t> fast;
  for (size_t i = 0; i < slow.size(); ++i) {
    int next = i + 1 < slow.size() ? slow[i + 1] : slow[i];
    for (int k = 0; k < 3; ++k) fast.push_back(int16_t((slow[i] * (3 - k) + next * k) / 3));
  }
  ProcessRun run = runProgram({FEED_BINARY, "--earshot", EARSHOT_BINARY, "--rate", "48000",
                               "--chunk-ms", "40", "--spoken", "-"},
                              rawBytes(fast));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  expectWords(run.out, {"forward", "ten", "meters"});
}

// --json shows earshot's own lines: its finals, byte for byte as earshot
// writes them to a host that sends the same audio itself, each led by the
// file it belongs to.
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
  std::vector<std::string> expected;
  for (const std::string& line : splitLines(direct.out)) {
    expected.push_back("{\"input\":\"" + kGoForward + "\"," + line.substr(1));
  }
  EXPECT_EQ(framing(fedLines), framing(expected)) << fed.out;
  simdjson::dom::parser parser;
  for (const std::string& line : fedLines) EXPECT_FALSE(parser.parse(line).error()) << line;
  ASSERT_GE(fedLines.size(), 2u);
  EXPECT_EQ(fedLines.back(), "{\"input\":\"" + kGoForward + "\",\"type\":\"stopped\"}");
}

// The locales earshot supports here, as its --locales says.
std::string supportedLocales() {
  ProcessRun run = runProgram({EARSHOT_BINARY, "--locales"});
  simdjson::dom::parser parser;
  simdjson::dom::array supported;
  EXPECT_FALSE(parser.parse(run.out)["supported"].get_array().get(supported)) << run.out;
  std::string text;
  for (auto locale : supported) {
    text += (text.empty() ? "" : ", ") + std::string(std::string_view(locale.get_string()));
  }
  return text;
}

TEST(RealEarshot, MessagesNameTheLocaleAndWhatThereIs) {
  const std::string librivox = TESTDATA "/librivox/sense_and_sensibility_01_austen_64kb-0880.wav";
  const FeedRun cases[] = {
      {{"--locale", "xx-YY", "--rate", "16000", kGoForward},
       1,
       "earshot-feed: locale xx-YY is not supported; supported locales: " + supportedLocales() +
           "\n",
       ""},
      {{"--install", "xx-YY"},
       1,
       "earshot-feed: locale xx-YY is not supported; supported locales: " + supportedLocales() +
           "\n",
       ""},
      // The model that comes with the system needs no install.
      {{"--install", "en_US"}, 0, "", "en-US is already installed: nothing to do.\n"},
  };
  for (const FeedRun& c : cases) expectFeedRun(EARSHOT_BINARY, c);
}

const std::string kLibrivox = TESTDATA "/librivox/sense_and_sensibility_01_austen_64kb-";

// Three recordings through one earshot, a flush between them: each
// section holds exactly the finals of its recording, as earshot writes them
// to a host that sends the same lines itself.
TEST(RealEarshot, SeveralFilesEachUnderItsName) {
  const std::string files[] = {kLibrivox + "0880.wav", kLibrivox + "0930.wav",
                               kLibrivox + "0870.wav"};
  std::string session = initLine("en-US");
  for (const std::string& file : files) {
    if (file != files[0]) session += flushLine();
    std::string bytes = readFile(file).substr(44);  // 16 kHz mono 16-bit after the header
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    for (size_t at = 0; at < samples.size(); at += 1600) {
      session += audioLine(
          std::span(samples.data() + at, std::min<size_t>(1600, samples.size() - at)), 16000);
    }
  }
  session += stopLine();
  ProcessRun direct = runProgram({EARSHOT_BINARY}, session);
  ASSERT_EQ(direct.status, 0);
  std::vector<std::string> finals;
  for (const std::string& line : splitLines(direct.out)) {
    auto parsed = parseEarshotLine(line);
    if (parsed && parsed->isFinal && !parsed->text.empty()) finals.push_back(parsed->text);
  }

  ProcessRun together =
      runProgram({FEED_BINARY, "--earshot", EARSHOT_BINARY, files[0], files[1], files[2]});
  EXPECT_EQ(together.status, 0);
  EXPECT_EQ(together.err, "");
  std::vector<std::string> sections[3];
  int section = -1;
  for (const std::string& line : splitLines(together.out)) {
    if (line.rfind("==> ", 0) == 0) {
      ++section;
      ASSERT_LT(section, 3);
      EXPECT_EQ(line, "==> " + files[section] + " <==");
    } else if (!line.empty()) {
      ASSERT_GE(section, 0);
      sections[section].push_back(line);
    }
  }
  std::vector<std::string> joined;
  for (const auto& lines : sections) joined.insert(joined.end(), lines.begin(), lines.end());
  EXPECT_EQ(joined, finals);
  auto text = [&](int i) {
    std::string all;
    for (const std::string& line : sections[i]) all += line + " ";
    return all;
  };
  expectWords(text(0), {"young", "man"});
  expectWords(text(1), {"amiable", "himself"});
  expectWords(text(2), {"john", "dashwood"});
}

// One caption of an SRT or WebVTT file.
struct Cue {
  double start = 0, end = 0;
  std::string text;  // its lines joined by spaces
};

// The cues of `captions`, checking their form on the way: SRT cues numbered
// from 1, WebVTT after its header; each a time line and at least one line
// of text, cues apart by one empty line.
std::vector<Cue> readCues(const std::string& captions, const std::string& format) {
  const bool srt = format == "srt";
  const std::regex timeLine(
      srt ? R"((\d\d):([0-5]\d):([0-5]\d),(\d{3}) --> (\d\d):([0-5]\d):([0-5]\d),(\d{3}))"
          : R"((\d\d):([0-5]\d):([0-5]\d)\.(\d{3}) --> (\d\d):([0-5]\d):([0-5]\d)\.(\d{3}))");
  std::vector<std::string> lines = splitLines(captions);
  size_t at = 0;
  if (!srt) {
    if (lines.size() < 2 || lines[0] != "WEBVTT" || !lines[1].empty()) {
      ADD_FAILURE() << "no WebVTT header in:\n" << captions;
      return {};
    }
    at = 2;
  }
  std::vector<Cue> cues;
  while (at < lines.size()) {
    if (srt) {
      EXPECT_EQ(lines[at++], std::to_string(cues.size() + 1)) << captions;
    }
    std::smatch time;
    if (at >= lines.size() || !std::regex_match(lines[at], time, timeLine)) {
      ADD_FAILURE() << "no time line at line " << at + 1 << " of:\n" << captions;
      return cues;
    }
    auto seconds = [&](int first) {
      return std::stoi(time[first]) * 3600 + std::stoi(time[first + 1]) * 60 +
             std::stoi(time[first + 2]) + std::stoi(time[first + 3]) / 1000.0;
    };
    Cue cue{seconds(1), seconds(5), ""};
    for (++at; at < lines.size() && !lines[at].empty(); ++at) {
      cue.text += (cue.text.empty() ? "" : " ") + lines[at];
    }
    EXPECT_FALSE(cue.text.empty()) << "a cue without text in:\n" << captions;
    cues.push_back(cue);
    if (at < lines.size()) ++at;  // the empty line after a cue
  }
  return cues;
}

// The words a librivox recording says, from the transcription beside it.
std::string transcriptionOf(const std::string& file) {
  std::string id = fs::path(file).stem().string();
  std::ifstream in(fs::path(file).parent_path() / "transcription");
  for (std::string line; std::getline(in, line);) {
    if (line.find("(" + id + ")") != line.npos) return line;
  }
  ADD_FAILURE() << "no transcription of " << id;
  return "";
}

// Whether `word` is one of the words of `text`, case and punctuation aside:
// captions come in written form ("Young man.").
bool hasWord(const std::string& text, const std::string& word) {
  std::string words = " ";
  for (char c : text) {
    bool letter = std::isalnum(static_cast<unsigned char>(c)) || c == '\'';
    words += letter ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : ' ';
  }
  return (words + " ").find(" " + word + " ") != std::string::npos;
}

// Captions of real speech, one input on standard output or several into
// --output-dir: well-formed, in order, within the recording, and made of
// words the recording says.
TEST(RealEarshot, CaptionsOfRealRecordings) {
  struct Recording {
    std::string file;
    std::vector<std::string> words;  // clearly recognised ones
  };
  struct Case {
    std::string format;
    std::vector<Recording> recordings;
  };
  const Case cases[] = {
      {"srt",
       {{kLibrivox + "0920.wav", {"married", "amiable", "respectable"}},
        {kLibrivox + "0880.wav", {"young", "man"}}}},
      {"vtt", {{kLibrivox + "0870.wav", {"john", "dashwood", "leisure", "consider"}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    earshot::testkit::ScratchFolder scratch("feed-captions-" + c.format);
    std::vector<std::string> argv{FEED_BINARY, "--earshot", EARSHOT_BINARY, "--format", c.format};
    if (c.recordings.size() > 1) argv.insert(argv.end(), {"--output-dir", scratch.path()});
    for (const Recording& recording : c.recordings) argv.push_back(recording.file);
    ProcessRun run = runProgram(argv);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");

    for (const Recording& recording : c.recordings) {
      SCOPED_TRACE(recording.file);
      std::string captions =
          c.recordings.size() > 1
              ? readFile(scratch.path() /
                         (fs::path(recording.file).stem().string() + "." + c.format))
              : run.out;
      std::vector<Cue> cues = readCues(captions, c.format);
      ASSERT_FALSE(cues.empty()) << captions;
      std::string text;
      for (size_t i = 0; i < cues.size(); ++i) {
        EXPECT_LT(cues[i].start, cues[i].end) << captions;
        if (i > 0) {
          EXPECT_GE(cues[i].start, cues[i - 1].end) << captions;
        }
        text += cues[i].text + " ";
      }
      // 16 kHz mono 16-bit samples after a 44-byte header.
      double duration = double(fs::file_size(recording.file) - 44) / (16000 * 2);
      EXPECT_LE(cues.back().end, duration + 0.1) << captions;
      std::string known = transcriptionOf(recording.file);
      for (const std::string& word : recording.words) {
        EXPECT_TRUE(hasWord(known, word)) << word << " is not in: " << known;
        EXPECT_TRUE(hasWord(text, word)) << word << " in: " << text;
      }
    }
  }
}

// Standard input carries a WAV file: detected, no --rate needed; a WAV cut
// short is transcribed as far as it goes, with a warning.
TEST(RealEarshot, StandardInputContainersAndTruncatedFiles) {
  std::string wav = readFile(kLibrivox + "0870.wav");
  ProcessRun whole = runProgram({FEED_BINARY, "--earshot", EARSHOT_BINARY, "-"}, wav);
  EXPECT_EQ(whole.status, 0);
  EXPECT_EQ(whole.err, "");
  expectWords(whole.out, {"john", "dashwood"});

  char pattern[] = "/tmp/feed-cut-XXXXXX";
  ASSERT_NE(::mkdtemp(pattern), nullptr);
  fs::path cut = fs::path(pattern) / "cut.wav";
  std::ofstream(cut, std::ios::binary) << wav.substr(0, 44 + 16000 * 2 * 4);
  ProcessRun partial = runProgram({FEED_BINARY, "--earshot", EARSHOT_BINARY, cut.string()});
  EXPECT_EQ(partial.status, 0);
  EXPECT_EQ(partial.err, "earshot-feed: " + cut.string() +
                             ": the file is cut short; transcribed the 4.0 s of audio that are "
                             "there\n");
  expectWords(partial.out, {"john", "dashwood"});
  fs::remove_all(pattern);
}

// Ctrl-C during --realtime, once a word has been heard: the final with it
// still comes, then "stopped" and status 130.
TEST(RealEarshot, InterruptedRealtimeRunEndsWith130AfterItsFinal) {
  earshot::testkit::ChildProcess feed({.argv = {FEED_BINARY, "--earshot", EARSHOT_BINARY,
                                                "--realtime", "--json", kLibrivox + "0870.wav"},
                                       .readOutput = false});
  std::string seen;
  for (std::string line = feed.readLine(); !line.empty(); line = feed.readLine()) {
    seen += line + "\n";
    if (line.find("\"transcript\"") != line.npos && lowerCase(line).find("john") != line.npos)
      break;
  }
  ASSERT_NE(lowerCase(seen).find("john"), seen.npos) << seen;
  ::kill(feed.pid(), SIGINT);
  ProcessRun run = feed.wait();
  EXPECT_EQ(run.status, 130);
  EXPECT_EQ(run.err, "");
  std::vector<std::string> lines = splitLines(seen + run.out);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.back(), "{\"input\":\"" + kLibrivox + "0870.wav\",\"type\":\"stopped\"}");
  std::string finals;
  for (const std::string& line : lines) {
    auto parsed = parseEarshotLine(line);
    if (parsed && parsed->isFinal) finals += parsed->text + "\n";
  }
  expectWords(finals, {"john"});
}

}  // namespace
}  // namespace earshot::feed
