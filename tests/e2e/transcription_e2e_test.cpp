// Live transcription of real recordings by the built program.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/host_audio.h"
#include "tests/support/host_lines.h"

namespace earshot::testkit {
namespace {

const std::string kGoForward = "goforward.raw";
const std::string kGoForwardWords = "go forward ten meters";
const std::string kBook = "librivox/sense_and_sensibility_01_austen_64kb-0930.wav";
const std::string kBookWords = "he might even have been made amiable himself";

// ready, then transcript lines only, then stopped; nothing on stderr.
void expectSession(const ProcessRun& run) {
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  ASSERT_GE(run.lines.size(), 2u);
  EXPECT_EQ(run.lines.front(), R"({"type":"ready","locale":"en-US","sampleRate":16000})");
  EXPECT_EQ(run.lines.back(), R"({"type":"stopped"})");
  EXPECT_EQ(transcripts(run.lines).size(), run.lines.size() - 2) << "unexpected lines";
}

struct Case {
  std::string file;
  std::string words;
  double rate;
  size_t wordsAtLeast;
  std::string locale;
};

class Recording : public testing::TestWithParam<Case> {};

TEST_P(Recording, IsTranscribedWithPartialsBeforeItsFinal) {
  const Case& c = GetParam();
  std::vector<int16_t> audio = resampled(recording(c.file), 16000, c.rate);
  ProcessRun run = runEarshot(
      {}, initLine(c.locale, kSpokenForm) + "\n" + audioLines(audio, c.rate) + stopLine() + "\n");
  expectSession(run);
  auto heard = transcripts(run.lines);
  ASSERT_FALSE(heard.empty());
  EXPECT_FALSE(heard.front().isFinal) << "no partial before the first final";
  EXPECT_TRUE(heard.back().isFinal) << "the last segment was left open";
  EXPECT_GE(wordsHeard(c.words, finalText(heard)), c.wordsAtLeast) << finalText(heard);
}

// Each process starts without having heard the speaker: the book clip, heard
// cold, gives "he might even at then made amiable itself" at 16 kHz.
INSTANTIATE_TEST_SUITE_P(HostRates, Recording,
                         testing::Values(Case{kGoForward, kGoForwardWords, 16000, 4, "en-US"},
                                         Case{kBook, kBookWords, 16000, 5, "en_US.UTF-8"},
                                         Case{kGoForward, kGoForwardWords, 22050, 3, "en"},
                                         Case{kGoForward, kGoForwardWords, 44100, 3, "en-US"},
                                         Case{kGoForward, kGoForwardWords, 48000, 3, "en-US"},
                                         Case{kBook, kBookWords, 22050, 5, "en-US"},
                                         Case{kBook, kBookWords, 44100, 5, "en-US"},
                                         Case{kBook, kBookWords, 48000, 5, "en-US"}),
                         [](const auto& info) {
                           std::string name = info.param.file == kGoForward ? "GoForward" : "Book";
                           return name + std::to_string(int(info.param.rate));
                         });

bool mentionsAny(const std::string& text, const std::vector<std::string>& words) {
  for (const auto& word : words) {
    if (wordsHeard(word, text) > 0) return true;
  }
  return false;
}

TEST(LiveTranscription, AFlushKeepsTwoRecordingsApartAndInOrder) {
  // The second recording at another rate also exercises a converter after
  // the first session's audio needed none.
  std::string input = initLine("en-US", kSpokenForm) + "\n" +
                      audioLines(recording(kGoForward), 16000) + flushLine() + "\n" +
                      audioLines(resampled(recording(kBook), 16000, 44100), 44100) + stopLine() +
                      "\n";
  ProcessRun run = runEarshot({}, input);
  expectSession(run);
  auto heard = transcripts(run.lines);
  size_t first = 0;
  while (first < heard.size() && !heard[first].isFinal) ++first;
  ASSERT_LT(first, heard.size()) << "no final";
  EXPECT_GE(wordsHeard(kGoForwardWords, heard[first].text), 3u) << heard[first].text;
  for (size_t i = 0; i < heard.size(); ++i) {
    if (i <= first) {
      EXPECT_FALSE(mentionsAny(heard[i].text, {"amiable", "himself", "might"})) << heard[i].text;
    } else {
      EXPECT_FALSE(mentionsAny(heard[i].text, {"forward", "meters"})) << heard[i].text;
    }
  }
  std::vector<Transcript> second(heard.begin() + first + 1, heard.end());
  EXPECT_GE(wordsHeard(kBookWords, finalText(second)), 5u) << finalText(second);
}

TEST(LiveTranscription, EndOfInputEndsTheSessionLikeStop) {
  ProcessRun run = runEarshot(
      {}, initLine("en-US", kSpokenForm) + "\n" + audioLines(recording(kGoForward), 16000));
  expectSession(run);
  EXPECT_GE(wordsHeard(kGoForwardWords, finalText(transcripts(run.lines))), 3u);
}

TEST(LiveTranscription, WritesTextAsPeopleWriteItUnlessAskedForTheSpokenForm) {
  const std::string audio = audioLines(recording(kGoForward), 16000) + stopLine() + "\n";
  ProcessRun written = runEarshot({}, initLine("en-US") + "\n" + audio);
  ProcessRun spoken = runEarshot({}, initLine("en-US", kSpokenForm) + "\n" + audio);
  expectSession(written);
  expectSession(spoken);
  EXPECT_EQ(finalText(transcripts(written.lines)), "Go forward 10 meters.");
  EXPECT_EQ(finalText(transcripts(spoken.lines)), kGoForwardWords);
  // Partials are written too, without closing punctuation.
  for (const Transcript& heard : transcripts(written.lines)) {
    if (heard.isFinal || heard.text.empty()) continue;
    EXPECT_TRUE(heard.text.starts_with("Go")) << heard.text;
    EXPECT_FALSE(heard.text.ends_with('.')) << heard.text;
  }
}

}  // namespace
}  // namespace earshot::testkit
