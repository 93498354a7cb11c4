// Captions and word lines from transcript lines as earshot writes them
// when "init" asks for "audioTimeRange" and "transcriptionConfidence".
#include <gtest/gtest.h>

#include <sstream>

#include "tools/feed/captions.h"
#include "tools/feed/views.h"

namespace earshot::feed {
namespace {

EarshotLine parsed(const std::string& line) {
  std::optional<EarshotLine> result = parseEarshotLine(line);
  EXPECT_TRUE(result) << line;
  return result.value_or(EarshotLine{});
}

const std::vector<std::string> kTimedSession{
    R"({"type":"ready","locale":"en-US","sampleRate":16000})",
    R"({"type":"transcript","text":"go","isFinal":false,"start":0.41,"end":0.7,"words":[{"text":"go","start":0.41,"end":0.7}]})",
    R"({"type":"transcript","text":"go forward","isFinal":true,"start":0.41,"end":1.32,"confidence":0.91,"words":[{"text":"go","start":0.41,"end":0.7,"confidence":0.97},{"text":"forward","start":0.7,"end":1.32,"confidence":0.85}]})",
    R"({"type":"transcript","text":"","isFinal":true,"start":1.32,"end":1.32,"words":[]})",
    R"({"type":"transcript","text":"ten meters","isFinal":true,"start":3723.0045,"end":3724.5,"confidence":0.5,"words":[{"text":"ten","start":3723.0045,"end":3723.6,"confidence":0.4},{"text":"meters","start":3723.6,"end":3724.5,"confidence":0.6}]})",
    R"({"type":"stopped"})",
};

TEST(CaptionTimes, HoursMinutesSecondsAndRoundedMilliseconds) {
  const std::tuple<double, std::string, std::string> cases[] = {
      {0, "00:00:00,000", "00:00:00.000"},       {1.0005, "00:00:01,001", "00:00:01.001"},
      {59.9996, "00:01:00,000", "00:01:00.000"}, {3723.0045, "01:02:03,005", "01:02:03.005"},
      {-0.2, "00:00:00,000", "00:00:00.000"},    {360000.25, "100:00:00,250", "100:00:00.250"},
  };
  for (const auto& [seconds, srt, vtt] : cases) {
    EXPECT_EQ(captionTime(seconds, ','), srt) << seconds;
    EXPECT_EQ(captionTime(seconds, '.'), vtt) << seconds;
  }
}

TEST(CaptionView, SrtNumbersCuesFromFinalsWithText) {
  std::ostringstream out, err;
  CaptionView view(out, err, /*webVtt=*/false);
  for (const std::string& line : kTimedSession) view.show(line);
  EXPECT_EQ(out.str(),
            "1\n00:00:00,410 --> 00:00:01,320\ngo forward\n\n"
            "2\n01:02:03,005 --> 01:02:04,500\nten meters\n\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_FALSE(view.missedTimes());
}

TEST(CaptionView, WebVttHasItsHeaderAndDotsAndAnOffset) {
  std::ostringstream out, err;
  CaptionView view(out, err, /*webVtt=*/true);
  EXPECT_EQ(out.str(), "WEBVTT\n\n");  // valid even if nothing is heard
  view.setOffset(10);
  view.show(kTimedSession[2]);
  EXPECT_EQ(out.str(), "WEBVTT\n\n00:00:10.410 --> 00:00:11.320\ngo forward\n\n");
}

// A long final wraps at word boundaries into lines of at most 42
// characters, two lines to a cue; each cue spans its own words.
TEST(Cues, LongFinalsWrapIntoTwoLineCues) {
  std::string words, text;
  const char* vocabulary[] = {"the",     "quick", "brown",      "fox",   "jumps",
                              "over",    "lazy",  "dogs",       "while", "seventeen",
                              "curious", "owls",  "understand", "it"};
  double at = 0;
  for (int round = 0; round < 3; ++round) {
    for (const char* word : vocabulary) {
      if (round == 2 && std::string(word) != "the") break;
      if (!text.empty()) {
        text += ' ';
        words += ',';
      }
      text += word;
      char item[128];
      std::snprintf(item, sizeof item, R"({"text":"%s","start":%.2f,"end":%.2f})", word, at,
                    at + 0.25);
      words += item;
      at += 0.5;
    }
  }
  EarshotLine final = parsed(R"({"type":"transcript","isFinal":true,"text":")" + text +
                             R"(","start":0,"end":14.25,"words":[)" + words + "]}");
  std::vector<Cue> cues = cuesOfFinal(final, 0);
  ASSERT_EQ(cues.size(), 3u);
  EXPECT_EQ(cues[0].text,
            "the quick brown fox jumps over lazy dogs\nwhile seventeen curious owls understand it");
  EXPECT_EQ(cues[1].text, cues[0].text);
  EXPECT_EQ(cues[2].text, "the");
  EXPECT_DOUBLE_EQ(cues[0].start, 0);
  EXPECT_DOUBLE_EQ(cues[0].end, 6.75);
  EXPECT_DOUBLE_EQ(cues[1].start, 7);
  EXPECT_DOUBLE_EQ(cues[1].end, 13.75);
  EXPECT_DOUBLE_EQ(cues[2].start, 14);
  std::string rejoined;
  for (const Cue& cue : cues) {
    std::istringstream lines(cue.text);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_LE(line.size(), kCaptionLineLength) << line;
      rejoined += (rejoined.empty() ? "" : " ") + line;
    }
  }
  EXPECT_EQ(rejoined, text);
}

// A final spoken as `script`: words 0.3 s long, 0.05 s apart, and 0.6 s
// apart where the script has "|".
EarshotLine spoken(const std::string& script) {
  std::istringstream in(script);
  std::string text, words;
  double at = 0;
  for (std::string word; in >> word;) {
    if (word == "|") {
      at += 0.55;
      continue;
    }
    text += (text.empty() ? "" : " ") + word;
    words +=
        (words.empty() ? "" : ",") + ("{\"text\":\"" + word + "\",\"start\":" + std::to_string(at) +
                                      ",\"end\":" + std::to_string(at + 0.3) + "}");
    at += 0.35;
  }
  return parsed(R"({"type":"transcript","isFinal":true,"text":")" + text + R"(","start":0,"end":)" +
                std::to_string(at) + R"(,"words":[)" + words + "]}");
}

// Where cues and their lines break: at pauses and phrase ends where they
// can, in lines of balanced length, and never with one short word alone on
// a second line.
TEST(Cues, LinesAndCuesBreakWhereTheSpeechDoes) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"short and sweet", {"short and sweet"}},
      // Balanced lines, not a full first line and a stub.
      {"the committee will reconvene on thursday at nine",
       {"the committee will reconvene\non thursday at nine"}},
      {"please remember to bring the signed forms with you",
       {"please remember to bring\nthe signed forms with you"}},
      // A short last word is never alone on the second line.
      {"we should probably talk about the budget later on it",
       {"we should probably talk\nabout the budget later on it"}},
      // A pause is where the line breaks, when both lines fit.
      {"thanks everyone for coming | let us begin with the first item",
       {"thanks everyone for coming\nlet us begin with the first item"}},
      // The cue ends at the pause in its second half, not mid-phrase.
      {"the results of the second quarter were better than expected | but the costs of "
       "shipping rose again in every region we serve",
       {"the results of the second\nquarter were better than expected",
        "but the costs of shipping rose\nagain in every region we serve"}},
  };
  for (const auto& [script, expected] : cases) {
    SCOPED_TRACE(script);
    std::vector<std::string> texts;
    for (const Cue& cue : cuesOfFinal(spoken(script), 0)) texts.push_back(cue.text);
    EXPECT_EQ(texts, expected);
  }
}

// Without per-word times the final's own span is shared out by length;
// without any times there is nothing to caption, and the view says so.
TEST(Cues, FinalsWithFewerTimes) {
  std::vector<Cue> shared = cuesOfFinal(
      parsed(R"({"type":"transcript","isFinal":true,"text":"ab cdef","start":1,"end":2})"), 0);
  ASSERT_EQ(shared.size(), 1u);
  EXPECT_DOUBLE_EQ(shared[0].start, 1);
  EXPECT_DOUBLE_EQ(shared[0].end, 2);
  EXPECT_EQ(shared[0].text, "ab cdef");

  std::ostringstream out, err;
  CaptionView view(out, err, false);
  view.show(R"({"type":"transcript","isFinal":true,"text":"no times"})");
  EXPECT_EQ(out.str(), "");
  EXPECT_TRUE(view.missedTimes());
}

TEST(WordsView, OneJsonLinePerWordOfEachFinal) {
  std::ostringstream out, err;
  WordsView view(out, err);
  for (const std::string& line : kTimedSession) view.show(line);
  EXPECT_EQ(out.str(), R"({"text":"go","start":0.410,"end":0.700,"confidence":0.970})"
                       "\n"
                       R"({"text":"forward","start":0.700,"end":1.320,"confidence":0.850})"
                       "\n"
                       R"({"text":"ten","start":3723.005,"end":3723.600,"confidence":0.400})"
                       "\n"
                       R"({"text":"meters","start":3723.600,"end":3724.500,"confidence":0.600})"
                       "\n");

  std::ostringstream named, err2;
  WordsView labelled(named, err2);
  labelled.setInputName("a \"b\".wav");
  labelled.setOffset(2);
  labelled.show(
      R"({"type":"transcript","isFinal":true,"text":"hi","start":0,"end":0.5,"words":[{"text":"hi","start":0,"end":0.5}]})");
  EXPECT_EQ(named.str(), R"({"input":"a \"b\".wav","text":"hi","start":2.000,"end":2.500})"
                         "\n");
}

}  // namespace
}  // namespace earshot::feed
