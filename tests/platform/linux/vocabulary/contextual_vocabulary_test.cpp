#include "platform/linux/vocabulary/contextual_vocabulary.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/linux/vocabulary/pronunciation.h"

namespace earshot::platform::linuxos {
namespace {

using Additions = std::vector<std::pair<std::string, std::string>>;

ContextualVocabulary vocabularyOf(const std::vector<std::string>& phrases) {
  static const std::map<std::string, std::string> dictionary = {
      {"pull", "P UH L"}, {"request", "R IH K W EH S T"}, {"earshot", "IH R SH AA T"}};
  return ContextualVocabulary(
      phrases,
      [](const std::string& word) -> std::optional<std::string> {
        auto found = dictionary.find(word);
        if (found == dictionary.end()) return std::nullopt;
        return found->second;
      },
      [](const std::string& word) { return word.size() > 3 ? "K AH N" : "AH"; });
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
