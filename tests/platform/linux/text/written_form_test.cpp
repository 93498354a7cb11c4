#include "platform/linux/text/written_form.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/scratch_folder.h"

namespace earshot::platform::linuxos {
namespace {

// A cased word list in the system list's format: names that are always
// capitalised, words that are sometimes names ("may", "bill"), plain words.
const char* const kListLines[] = {
    "Monday",  "Tuesday",  "London", "Paris",  "English", "John",    "john",   "May",
    "may",     "Bill",     "bill",   "Mark",   "mark",    "Smith",   "smith",  "March",
    "march",   "Monday's", "the",    "doctor", "said",    "will",    "Will",   "consider",
    "leisure", "had",      "then",   "to",     "go",      "forward", "meters", "call",
    "me",      "at",       "see",    "you",    "on",      "in",      "we",     "met",
    "it",      "cost",     "it's",   "raised", "by",      "for"};

std::shared_ptr<const CasedWords> fixtureList() {
  static std::shared_ptr<const CasedWords> list = [] {
    std::string path = testing::TempDir() + "/earshot-cased-words-fixture";
    {
      std::ofstream out(path);
      for (const char* line : kListLines) out << line << '\n';
    }
    return std::make_shared<const CasedWords>(CasedWords::fromFile(path));
  }();
  return list;
}

WrittenForm english(const std::vector<std::string>& phrases = {}) {
  return WrittenForm(Locale::fromIdentifier("en-US"), fixtureList(), phrases);
}

std::string written(WrittenForm& form, const std::string& spoken, bool isFinal = true) {
  TranscriptionResult result(spoken, isFinal);
  form.apply(result);
  return result.text;
}

std::string joined(const std::vector<TranscribedWord>& words) {
  std::string text;
  for (const auto& word : words) text += (text.empty() ? "" : " ") + word.text;
  return text;
}

struct Case {
  const char* spoken;
  const char* written;
};

TEST(WrittenFormTest, WritesFinalsAsPeopleWriteThem) {
  const Case cases[] = {
      // Sentence case, closing punctuation, "I".
      {"go forward ten meters", "Go forward 10 meters."},
      {"i think i'm late and i'll call", "I think I'm late and I'll call."},
      {"", ""},
      // Names from the list; words that are sometimes names stay.
      {"we met in london on monday", "We met in London on Monday."},
      {"bill will mark it", "Bill will mark it."},
      {"the bill will cost it", "The bill will cost it."},
      // Titles, and the name after them.
      {"mister john dashwood had leisure", "Mr. John Dashwood had leisure."},
      {"the doctor said it", "The doctor said it."},
      {"doctor smith said it", "Dr. Smith said it."},
      {"missus may raised it", "Mrs. May raised it."},
      // Cardinals: one to nine stay words, ten and up are digits, grouped.
      {"i had three of them", "I had three of them."},
      {"twenty five thousand people", "25,000 people."},
      {"one hundred and five", "105."},
      {"two million three hundred thousand", "2,300,000."},
      // Units, money, percentages, decimals.
      {"add three hundred grams", "Add 300 grams."},
      {"walk five kilometers", "Walk 5 kilometers."},
      {"it cost forty two dollars and fifty cents", "It cost $42.50."},
      {"it cost forty two dollars", "It cost $42."},
      {"it rose fifteen percent", "It rose 15%."},
      {"three point one four", "3.14."},
      {"fifty cents", "50 cents."},
      // Times, years, dates.
      {"call me at seven fifteen", "Call me at 7:15."},
      {"see you at three thirty p.m.", "See you at 3:30 PM."},
      {"see you at seven oh five a.m.", "See you at 7:05 AM."},
      {"see you at seven o'clock", "See you at 7 o'clock."},
      {"in twenty nineteen", "In 2019."},
      {"since two thousand five", "Since 2005."},
      {"in nineteen eighty four", "In 1984."},
      {"on march third", "On March 3."},
      {"on may twenty first twenty twenty", "On May 21, 2020."},
      {"on monday the tenth", "On Monday the tenth."},
      {"i may one day go", "I may one day go."},
      // Digit strings.
      {"call five five five one two one two", "Call 5551212."},
      {"a few hundred miles", "A few hundred miles."},
      {"thousand", "Thousand."},
      // Questions by their first words.
      {"what time is it", "What time is it?"},
      {"can you see it", "Can you see it?"},
      {"does the bill cost ten dollars", "Does the bill cost $10?"},
      {"do go forward", "Do go forward."},
  };
  WrittenForm form = english();
  for (const Case& c : cases) {
    EXPECT_EQ(written(form, c.spoken), c.written) << "spoken: " << c.spoken;
  }
}

TEST(WrittenFormTest, PartialsCarryNoClosingPunctuation) {
  WrittenForm form = english();
  EXPECT_EQ(written(form, "what time is", false), "What time is");
  EXPECT_EQ(written(form, "go forward ten", false), "Go forward 10");
}

TEST(WrittenFormTest, ContextualPhrasesKeepTheirOwnCasing) {
  WrittenForm form = english({"iPhone", "Velandra Quinnova", "McAllister"});
  EXPECT_EQ(written(form, "iphone for velandra quinnova"), "iPhone for Velandra Quinnova.");
  EXPECT_EQ(written(form, "call mcallister"), "Call McAllister.");
}

TEST(WrittenFormTest, WordsJoinToTheTextWithAndWithoutMerges) {
  WrittenForm form = english();
  auto word = [](const char* text, double start, double end, double confidence) {
    return TranscribedWord{text, AudioTimeRange{start, end}, confidence};
  };
  // No merge: every word keeps its time and confidence.
  TranscriptionResult plain(
      "go to london", true, AudioTimeRange{0.0, 1.5},
      {word("go", 0.0, 0.4, 0.9), word("to", 0.4, 0.6, 0.8), word("london", 0.6, 1.5, 0.7)});
  form.apply(plain);
  EXPECT_EQ(plain.text, "Go to London.");
  EXPECT_EQ(joined(plain.words), plain.text);
  ASSERT_EQ(plain.words.size(), 3u);
  EXPECT_EQ(plain.words[2].audioTimeRange, (AudioTimeRange{0.6, 1.5}));
  EXPECT_EQ(plain.words[2].confidence, 0.7);

  // A merge: the token spans its words and has their lowest confidence.
  TranscriptionResult money(
      "forty two dollars and fifty cents now", true, AudioTimeRange{1.0, 4.0},
      {word("forty", 1.0, 1.3, 0.9), word("two", 1.3, 1.5, 0.6), word("dollars", 1.5, 2.0, 0.8),
       word("and", 2.0, 2.1, 0.95), word("fifty", 2.1, 2.5, 0.5), word("cents", 2.5, 3.0, 0.85),
       word("now", 3.2, 4.0, 0.99)});
  form.apply(money);
  EXPECT_EQ(money.text, "$42.50 now.");
  EXPECT_EQ(joined(money.words), money.text);
  ASSERT_EQ(money.words.size(), 2u);
  EXPECT_EQ(money.words[0].text, "$42.50");
  EXPECT_EQ(money.words[0].audioTimeRange, (AudioTimeRange{1.0, 3.0}));
  EXPECT_EQ(money.words[0].confidence, 0.5);
  EXPECT_EQ(money.words[1].audioTimeRange, (AudioTimeRange{3.2, 4.0}));
  EXPECT_EQ(money.range, (AudioTimeRange{1.0, 4.0}));

  // A time splits into its clock and its day period, each with its words.
  TranscriptionResult clock("at three thirty p.m.", false, std::nullopt,
                            {TranscribedWord{"at", AudioTimeRange{0, 1}, {}},
                             TranscribedWord{"three", AudioTimeRange{1, 2}, {}},
                             TranscribedWord{"thirty", AudioTimeRange{2, 3}, {}},
                             TranscribedWord{"p.m.", AudioTimeRange{3, 4}, {}}});
  form.apply(clock);
  EXPECT_EQ(clock.text, "At 3:30 PM");
  EXPECT_EQ(joined(clock.words), clock.text);
  ASSERT_EQ(clock.words.size(), 3u);
  EXPECT_EQ(clock.words[1].audioTimeRange, (AudioTimeRange{1, 3}));
  EXPECT_EQ(clock.words[2].audioTimeRange, (AudioTimeRange{3, 4}));
  EXPECT_FALSE(clock.words[1].confidence);
}

TEST(WrittenFormTest, AnotherLocaleGetsItsOwnNumbers) {
  // No word list and no English rules: the spellout rules and formatters of
  // the locale still write its numbers.
  WrittenForm german(Locale::fromIdentifier("de-DE"), nullptr);
  EXPECT_EQ(written(german, "zweitausendfünfhundert menschen"), "2.500 menschen.");
}

TEST(CasedWordsTest, ReadsWordListsAndHunspellDictionaries) {
  testkit::ScratchFolder folder("cased-words");
  std::string path = (folder.path() / "en.dic").string();
  {
    std::ofstream out(path);
    out << "5\nMonday/M\nmay/S\nMay/M\nLondon's\nParis\n";
  }
  CasedWords list = CasedWords::fromFile(path);
  EXPECT_EQ(list.alwaysCapitalised("monday"), "Monday");
  EXPECT_EQ(list.alwaysCapitalised("may"), std::nullopt);
  EXPECT_TRUE(list.canBeName("may"));
  EXPECT_EQ(list.alwaysCapitalised("paris"), "Paris");
  EXPECT_FALSE(list.knows("london"));
  EXPECT_FALSE(list.knows("5"));
  EXPECT_TRUE(CasedWords::fromFile((folder.path() / "missing").string()).empty());
}

}  // namespace
}  // namespace earshot::platform::linuxos
