// Word times, confidence and contextual phrases as a host gets them from the
// built program.
#include <gtest/gtest.h>
#include <simdjson.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "protocol/program_lines.h"
#include "tests/support/child_process.h"
#include "tests/support/host_audio.h"
#include "tests/support/host_lines.h"

namespace earshot::testkit {
namespace {

using HeardWord = protocol::TimedWord;

// A "transcript" line read in full.
struct Heard {
  std::string text;
  bool isFinal = false;
  std::vector<std::string> members;  // in the order written
  std::optional<double> start, end, confidence;
  std::vector<HeardWord> words;
};

std::vector<Heard> heard(const std::vector<std::string>& lines) {
  std::vector<Heard> results;
  simdjson::dom::parser parser;
  for (const std::string& line : lines) {
    simdjson::dom::object object = parser.parse(line).get_object();
    if (std::string_view(object["type"].get_string()) != "transcript") continue;
    Heard result;
    for (auto field : object) {
      std::string_view key = field.key;
      result.members.emplace_back(key);
      if (key == "text") result.text = std::string(std::string_view(field.value.get_string()));
      if (key == "isFinal") result.isFinal = bool(field.value.get_bool());
      if (key == "start") result.start = double(field.value.get_double());
      if (key == "end") result.end = double(field.value.get_double());
      if (key == "confidence") result.confidence = double(field.value.get_double());
      if (key == "words") {
        for (simdjson::dom::object word : field.value.get_array()) {
          HeardWord w;
          w.text = std::string(std::string_view(word["text"].get_string()));
          if (word["start"].error() == simdjson::SUCCESS) w.start = double(word["start"]);
          if (word["end"].error() == simdjson::SUCCESS) w.end = double(word["end"]);
          if (word["confidence"].error() == simdjson::SUCCESS) {
            w.confidence = double(word["confidence"]);
          }
          result.words.push_back(w);
        }
      }
    }
    results.push_back(std::move(result));
  }
  return results;
}

std::string init(const std::string& members) {
  return R"({"type":"init","locale":"en-US")" + (members.empty() ? "" : "," + members) + "}\n";
}
const std::string kBoth = R"("attributeOptions":["audioTimeRange","transcriptionConfidence"])";
const std::string kTimes = R"("attributeOptions":["audioTimeRange"])";
const std::string kFlush = flushLine() + "\n";

std::vector<int16_t> silence(double seconds) {
  return std::vector<int16_t>(size_t(seconds * 16000), 0);
}

std::vector<int16_t> joined(std::initializer_list<std::vector<int16_t>> parts) {
  std::vector<int16_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(ResultOptions, WithoutThemLinesAreUnchangedAndWithThemNoTextChanges) {
  const std::string audio =
      audioLines(recording("goforward.raw"), 16000) + kFlush +
      audioLines(recording("librivox/sense_and_sensibility_01_austen_64kb-0880.wav"), 16000);
  ProcessRun plain = runEarshot({}, init("") + audio);
  ProcessRun both = runEarshot({}, init(kBoth) + audio);
  ASSERT_EQ(plain.status, 0);
  ASSERT_EQ(both.status, 0);
  auto without = heard(plain.lines), with = heard(both.lines);
  ASSERT_EQ(with.size(), without.size());
  for (size_t i = 0; i < with.size(); ++i) {
    EXPECT_EQ(without[i].members, (std::vector<std::string>{"type", "text", "isFinal"}));
    EXPECT_EQ(with[i].text, without[i].text);
    EXPECT_EQ(with[i].isFinal, without[i].isFinal);
    std::string words;
    for (const auto& word : with[i].words) words += (words.empty() ? "" : " ") + word.text;
    EXPECT_EQ(words, with[i].text);
    EXPECT_EQ(with[i].confidence.has_value(), with[i].isFinal);
    for (const auto& word : with[i].words) {
      EXPECT_EQ(word.confidence.has_value(), with[i].isFinal);
      if (word.confidence) {
        EXPECT_GE(*word.confidence, 0.0);
        EXPECT_LE(*word.confidence, 1.0);
      }
    }
  }
}

// Results of one session: every time within a result in order, and each
// result after the previous final.
void expectInOrder(const std::vector<Heard>& session) {
  double lastFinalEnd = 0.0;
  for (const Heard& result : session) {
    ASSERT_TRUE(result.start && result.end) << result.text;
    EXPECT_GE(*result.start, lastFinalEnd) << result.text;
    double at = *result.start;
    for (const HeardWord& word : result.words) {
      EXPECT_GE(word.start, at) << word.text;
      EXPECT_LT(word.start, word.end) << word.text;
      at = word.end;
    }
    EXPECT_LE(at, *result.end) << result.text;
    if (result.isFinal) lastFinalEnd = *result.end;
  }
}

TEST(ResultOptions, TimesRunInOrderAndStartAgainAtAFlush) {
  // Each session: goforward after 1 s of silence and again 2 s later.
  const auto speech = recording("goforward.raw");
  const std::string session = audioLines(joined({silence(1), speech, silence(2), speech}), 16000);
  ProcessRun run = runEarshot({}, init(kTimes) + session + kFlush + session);
  ASSERT_EQ(run.status, 0);
  auto results = heard(run.lines);
  // Two finals per session; a session's partials come before its finals.
  std::vector<std::vector<Heard>> sessions(1);
  size_t finals = 0;
  for (const Heard& result : results) {
    sessions.back().push_back(result);
    if (result.isFinal && ++finals % 2 == 0) sessions.emplace_back();
  }
  sessions.pop_back();
  ASSERT_EQ(sessions.size(), 2u) << "finals: " << finals;
  std::vector<std::vector<double>> goStarts;
  for (const auto& results : sessions) {
    expectInOrder(results);
    std::vector<double> starts;
    for (const Heard& result : results) {
      if (result.isFinal && !result.words.empty()) starts.push_back(result.words.front().start);
    }
    goStarts.push_back(starts);
  }
  // The same audio after the flush: the same times, counted from 0 again,
  // to the recognizer's 10 ms frame (a shift of 14 to 25 ms would be one
  // that the flush adds).
  ASSERT_EQ(goStarts[0].size(), 2u);
  ASSERT_EQ(goStarts[1].size(), 2u);
  const double second = 1 + double(speech.size()) / 16000 + 2;
  EXPECT_NEAR(goStarts[0][0], 1.47, 0.05);
  EXPECT_NEAR(goStarts[0][1], second + 0.47, 0.05);
  EXPECT_NEAR(goStarts[1][0], goStarts[0][0], 0.0105);
  EXPECT_NEAR(goStarts[1][1], goStarts[0][1], 0.0105);
}

TEST(ResultOptions, TimesAreSecondsOfTheHostsAudioAtAnyRate) {
  const auto audio = joined({silence(1.5), recording("goforward.raw")});
  std::vector<std::vector<HeardWord>> finals;
  for (double rate : {16000.0, 48000.0}) {
    ProcessRun run = runEarshot({}, init(kTimes) + audioLines(resampled(audio, 16000, rate), rate));
    ASSERT_EQ(run.status, 0);
    std::vector<HeardWord> words;
    for (const Heard& result : heard(run.lines)) {
      if (result.isFinal) words.insert(words.end(), result.words.begin(), result.words.end());
    }
    finals.push_back(words);
  }
  ASSERT_EQ(finals[0].size(), finals[1].size());
  ASSERT_FALSE(finals[0].empty());
  EXPECT_NEAR(finals[0][0].start, 1.5 + 0.47, 0.05);
  for (size_t i = 0; i < finals[0].size(); ++i) {
    EXPECT_EQ(finals[1][i].text, finals[0][i].text);
    EXPECT_NEAR(finals[1][i].start, finals[0][i].start, 0.03) << finals[0][i].text;
    EXPECT_NEAR(finals[1][i].end, finals[0][i].end, 0.03) << finals[0][i].text;
  }
}

TEST(ResultOptions, AContextualPhraseTurnsAWrongTranscriptIntoTheRightOne) {
  // flite speaks a sentence with a name no dictionary has, after
  // goforward.raw (which lets the engine adapt to the channel first).
  namespace fs = std::filesystem;
  fs::path file =
      fs::temp_directory_path() / ("earshot-e2e-flite-" + std::to_string(::getpid()) + ".wav");
  std::string command = std::string(EARSHOT_FLITE) +
                        " -voice rms -t 'Tavrish said the new engine is ready' -o '" +
                        file.string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  auto sentence = recording(file.string());
  fs::remove(file);
  std::string audio =
      audioLines(joined({recording("goforward.raw"), silence(0.5), sentence, silence(0.5)}), 16000);
  ProcessRun plain = runEarshot({}, init("") + audio);
  ProcessRun taught =
      runEarshot({}, init(R"("contextualStrings":["Tavrish","pull request"])") + audio);
  EXPECT_EQ(taught.status, 0);
  EXPECT_EQ(taught.err, "");
  std::string without = finalText(transcripts(plain.lines));
  std::string with = finalText(transcripts(taught.lines));
  EXPECT_EQ(wordsHeard("Tavrish tavrish", without), 0u) << without;
  EXPECT_GE(wordsHeard("new engine is ready", without), 3u) << without;
  EXPECT_EQ(wordsHeard("Tavrish", with), 1u) << with;
  EXPECT_GE(wordsHeard("new engine is ready", with), 3u) << with;
}

}  // namespace
}  // namespace earshot::testkit
