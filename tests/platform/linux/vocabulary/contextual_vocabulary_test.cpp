#include "platform/linux/vocabulary/contextual_vocabulary.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/linux/vocabulary/pronunciation.h"

namespace earshot::platform::linuxos {
namespace {

using Additions = std::vector<std::pair<std::string, std::string>>;

// Made-up words are "K AH N" (long) or "AH" (short) unless `pronounce`
// says otherwise.
ContextualVocabulary vocabularyOf(const std::vector<std::string>& phrases,
                                  std::map<std::string, std::string> pronounce = {}) {
  static const std::map<std::string, std::string> dictionary = {{"pull", "P UH L"},
                                                                {"request", "R IH K W EH S T"},
                                                                {"earshot", "IH R SH AA T"},
                                                                {"go", "G OW"},
                                                                {"forward", "F AO R W ER D"}};
  return ContextualVocabulary(
      phrases,
      [](const std::string& word) -> std::optional<std::string> {
        auto found = dictionary.find(word);
        if (found == dictionary.end()) return std::nullopt;
        return found->second;
      },
      [pronounce](const std::string& word) -> std::string {
        if (auto found = pronounce.find(word); found != pronounce.end()) return found->second;
        return word.size() > 3 ? "K AH N" : "AH";
      });
}

TEST(ContextualVocabulary, AddsUnknownWordsAndOneTokenPerPhrase) {
  struct Case {
    std::vector<std::string> phrases;
    Additions additions;
    std::vector<std::string> tokens;
  } cases[] = {
      // Known words keep the dictionary's spelling and need no entry.
      {{"earshot"}, {}, {"earshot"}},
      {{"EarShot"}, {}, {"earshot"}},
      // Unknown ones keep the host's.
      {{"Tavrish"}, {{"Tavrish", "K AH N"}}, {"Tavrish"}},
      // A phrase of several words is one compound word as well.
      {{"pull request"}, {{"pull_request", "P UH L R IH K W EH S T"}}, {"pull_request"}},
      {{" Ksenia \t Wojcik "},
       {{"Ksenia", "K AH N"}, {"Wojcik", "K AH N"}, {"Ksenia_Wojcik", "K AH N K AH N"}},
       {"Ksenia_Wojcik"}},
      // Repeats count once; a word added for one phrase serves the next.
      {{"earshot", "EARSHOT", "Tavrish", "Tavrish"},
       {{"Tavrish", "K AH N"}},
       {"earshot", "Tavrish"}},
      {{"Tavrish", "Tavrish engine"},
       {{"Tavrish", "K AH N"}, {"engine", "K AH N"}, {"Tavrish_engine", "K AH N K AH N"}},
       {"Tavrish", "Tavrish_engine"}},
      // Nothing the engine would read as a filler or an alternate marker.
      {{"f(x)"}, {{"fx", "AH"}}, {"fx"}},
      {{"[NOISE]"}, {{"NOISE]", "K AH N"}}, {"NOISE]"}},
      {{"+++"}, {}, {}},
      {{"<go>forward"}, {{"go>forward", "K AH N"}}, {"go>forward"}},
      // Unicode white space separates and trims like a space.
      {{"\u3000Ksenia\u00a0Wojcik\u2003"},
       {{"Ksenia", "K AH N"}, {"Wojcik", "K AH N"}, {"Ksenia_Wojcik", "K AH N K AH N"}},
       {"Ksenia_Wojcik"}},
      {{"\u00a0\u3000"}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.phrases.front());
    ContextualVocabulary vocabulary = vocabularyOf(c.phrases);
    EXPECT_EQ(vocabulary.additions(), c.additions);
    EXPECT_EQ(vocabulary.tokens(), c.tokens);
    EXPECT_EQ(vocabulary.empty(), c.tokens.empty());
  }
}

TEST(ContextualVocabulary, ACompoundSplitsIntoItsWordsByTheirPhones) {
  ContextualVocabulary vocabulary = vocabularyOf({"pull request", "Ksenia Wojcik"});
  const auto* pull = vocabulary.compound("pull_request");
  ASSERT_NE(pull, nullptr);
  EXPECT_EQ(pull->words, (std::vector<std::string>{"pull", "request"}));
  EXPECT_EQ(pull->phoneCounts, (std::vector<size_t>{3, 7}));
  EXPECT_NE(vocabulary.compound("Ksenia_Wojcik"), nullptr);
  EXPECT_EQ(vocabulary.compound("Ksenia"), nullptr);
  EXPECT_EQ(vocabulary.compound("pull"), nullptr);
}

// What the engine must know by another name is written as the host wrote
// it; dictionary words keep the dictionary's spelling.
TEST(ContextualVocabulary, TheHostsSpellingIsWrittenAsGiven) {
  ContextualVocabulary vocabulary =
      vocabularyOf({"<go>forward", "f(x)", "[NOISE]", "Tavrish", "EarShot", "<Zed> Pull"});
  EXPECT_EQ(vocabulary.spelling("go>forward"), "<go>forward");
  EXPECT_EQ(vocabulary.spelling("fx"), "f(x)");
  EXPECT_EQ(vocabulary.spelling("NOISE]"), "[NOISE]");
  EXPECT_EQ(vocabulary.spelling("Tavrish"), std::nullopt);
  EXPECT_EQ(vocabulary.spelling("earshot"), std::nullopt);
  const auto* zed = vocabulary.compound("Zed>_pull");
  ASSERT_NE(zed, nullptr);
  EXPECT_EQ(zed->words, (std::vector<std::string>{"<Zed>", "pull"}));
}

// "go forward" and "go_forward" sound different (the compound has the words'
// phones, the one-word phrase its own): each keeps its sound under a name of
// its own, whatever their order, so the one spoken is the one written.
// When they sound the same, they are one token, written as the words.
TEST(ContextualVocabulary, UnderscoreAgainstSpaceTheSpokenOneWins) {
  for (const auto& phrases : {std::vector<std::string>{"go forward", "go_forward"},
                              std::vector<std::string>{"go_forward", "go forward"}}) {
    SCOPED_TRACE(phrases.front());
    ContextualVocabulary vocabulary = vocabularyOf(phrases);
    ASSERT_EQ(vocabulary.tokens().size(), 2u);
    std::string compoundToken, wordToken;
    for (const std::string& token : vocabulary.tokens()) {
      (vocabulary.compound(token) ? compoundToken : wordToken) = token;
    }
    ASSERT_FALSE(compoundToken.empty());
    ASSERT_FALSE(wordToken.empty());
    EXPECT_NE(compoundToken, wordToken);
    EXPECT_EQ(vocabulary.compound(compoundToken)->words,
              (std::vector<std::string>{"go", "forward"}));
    EXPECT_EQ(vocabulary.spelling(wordToken).value_or(wordToken), "go_forward");
    std::map<std::string, std::string> phones(vocabulary.additions().begin(),
                                              vocabulary.additions().end());
    EXPECT_EQ(phones[compoundToken], "G OW F AO R W ER D");
    EXPECT_EQ(phones[wordToken], "K AH N");
  }
  for (const auto& phrases : {std::vector<std::string>{"go forward", "go_forward"},
                              std::vector<std::string>{"go_forward", "go forward"}}) {
    SCOPED_TRACE(phrases.front());
    ContextualVocabulary same = vocabularyOf(phrases, {{"go_forward", "G OW F AO R W ER D"}});
    EXPECT_EQ(same.tokens(), std::vector<std::string>{"go_forward"});
    ASSERT_NE(same.compound("go_forward"), nullptr);
    EXPECT_EQ(same.compound("go_forward")->words, (std::vector<std::string>{"go", "forward"}));
  }
}

TEST(ContextualVocabulary, ThePhraseModelMakesEveryTokenEquallyLikely) {
  EXPECT_EQ(vocabularyOf({"earshot", "pull request", "Tavrish", "Kelvaxis"}).arpa(),
            "\\data\\\nngram 1=6\n\n\\1-grams:\n-99 <s> 0\n-99 </s> 0\n"
            "-0.602060 earshot 0\n-0.602060 pull_request 0\n-0.602060 Tavrish 0\n"
            "-0.602060 Kelvaxis 0\n\n\\end\\\n");
}

TEST(Pronunciation, MapsIpaOntoTheEnglishModelsPhones) {
  struct Case {
    const char* ipa;
    const char* phones;
  } cases[] = {
      {"kˈeɪsˈiːniə", "K EY S IY N IY AH"},
      {"wˈɑːdʒsɪk", "W AA JH S IH K"},
      {"tʃˈɜːtʃ", "CH ER CH"},
      {"plˈɛʒɚ", "P L EH ZH ER"},
      {"sˈɪŋɪŋ", "S IH NG IH NG"},
      {"bˈɔɪ ðə kˈaʊ", "B OY DH AH K AW"},
      {"θˈʌɹoʊli", "TH AH R OW L IY"},
      {"bˈɑːɾəl", "B AA T AH L"},
      {"ˈ ː", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(cmuPhonesFromIpa(c.ipa), c.phones) << c.ipa;
}

TEST(Pronunciation, GivesEveryWordWithALetterSomePhones) {
  EXPECT_EQ(pronounce("Kelvaxis", "en-us"), "K EH L V AE K S IH S");
  // espeak-ng reads digits out; a voice it lacks falls back to its English.
  EXPECT_EQ(pronounce("42", "en-us"), "F OW R T IY T UW");
  EXPECT_EQ(pronounce("Tavrish", "xx-yy"), pronounce("Tavrish", "en"));
}

}  // namespace
}  // namespace earshot::platform::linuxos
