#include "platform/linux/engine/dictionary_filter.h"

#include <gtest/gtest.h>
#include <pocketsphinx.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux/engine/decoder.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/models/installed_models.h"

namespace earshot::platform::linuxos {
namespace {

TEST(DictionaryFilter, KeepsTheAcceptedWordsWithEveryPronunciationInOrder) {
  const std::string dictionary =
      "## a comment\n"
      "read R EH D\n"
      "read(2) R IY D\n"
      "reader R IY D ER\n"
      "\n"
      ";; another comment\n"
      "red R EH D\n"
      "(paren) P\n"
      "x(y)z K\n"
      "tomato(2) T AH M AA T OW\n"
      "tomato T AH M EY T OW\n"
      "  spaced\tS P EY S T\r\n"
      "last L AE S T";
  std::set<std::string, std::less<>> keep = {"read",   "(paren)", "x(y)z",
                                             "tomato", "spaced",  "last"};
  std::vector<std::string> asked;
  std::string kept = filterDictionary(dictionary, [&](std::string_view word) {
    asked.emplace_back(word);
    return keep.contains(word);
  });
  EXPECT_EQ(kept,
            "read R EH D\n"
            "read(2) R IY D\n"
            "(paren) P\n"
            "x(y)z K\n"
            "tomato(2) T AH M AA T OW\n"
            "tomato T AH M EY T OW\n"
            "  spaced\tS P EY S T\r\n"
            "last L AE S T\n");
  // Alternatives are asked for by the word they belong to; comments not at all.
  EXPECT_EQ(asked, (std::vector<std::string>{"read", "read", "reader", "red", "(paren)", "x(y)z",
                                             "tomato", "tomato", "spaced", "last"}));
}

TEST(DictionaryFilter, BaseWordsAreReadAsTheEngineReadsThem) {
  const std::map<std::string, std::string> cases = {
      {"word", "word"},   {"word(2)", "word"}, {"word(12)", "word"}, {"(2)", "(2)"},
      {"a(b)c", "a(b)c"}, {"a(b)", "a"},       {"a(b)(c)", "a(b)"},  {"w)", "w)"},
      {"", ""},           {")", ")"},          {"x()", "x"}};
  for (const auto& [word, base] : cases) EXPECT_EQ(dictionaryBaseWord(word), base) << word;
}

SpeechModel englishModel() {
  auto model = InstalledModels::system().find(Locale::fromIdentifier("en-US"));
  if (!model) throw std::runtime_error("no en-US model");
  return *model;
}

// Every entry of the model's dictionary: (word, phones).
std::vector<std::pair<std::string, std::string>> dictionaryEntries(const SpeechModel& model) {
  std::ifstream in(model.dictionary);
  std::vector<std::pair<std::string, std::string>> entries;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string word, phone, phones;
    if (!(words >> word)) continue;
    while (words >> phone) phones += (phones.empty() ? "" : " ") + phone;
    entries.emplace_back(word, phones);
  }
  return entries;
}

std::set<std::string> languageModelWords(const SpeechModel& model) {
  logmath_t* lmath = logmath_init(1.0001, 0, FALSE);
  ngram_model_t* lm = ngram_model_read(nullptr, model.languageModel.c_str(), NGRAM_AUTO, lmath);
  std::set<std::string> words;
  if (lm != nullptr) {
    for (uint32 id = 0; id < ngram_model_get_counts(lm)[0]; ++id) {
      words.insert(ngram_word(lm, static_cast<int32>(id)));
    }
    ngram_model_free(lm);
  }
  logmath_free(lmath);
  return words;
}

// What the language model can produce, with every pronunciation, is in the
// decoder; of the rest only what contextual phrases look up, with the
// dictionary's own pronunciation.
TEST(DictionaryFilterEngine, ADecoderKnowsEveryWordOfItsLanguageModelAndOfItsPhrases) {
  SpeechModel model = englishModel();
  auto entries = dictionaryEntries(model);
  std::set<std::string> known = languageModelWords(model);
  ASSERT_GT(known.size(), 1000u);

  Decoder plain(model, defaultEngineSettings());
  std::vector<std::string> outside;  // dictionary words the language model lacks
  size_t kept = 0;
  std::set<std::string> seen;  // the engine keeps a word's first entry
  for (const auto& [word, phones] : entries) {
    if (!seen.insert(word).second) continue;
    if (known.contains(std::string(dictionaryBaseWord(word)))) {
      ++kept;
      EXPECT_EQ(plain.pronunciation(word), phones) << word;
    } else if (word.find('(') == std::string::npos && outside.size() < 3) {
      outside.push_back(word);
    }
  }
  EXPECT_GT(kept, entries.size() / 2);
  ASSERT_EQ(outside.size(), 3u);
  for (const std::string& word : outside) EXPECT_EQ(plain.pronunciation(word), std::nullopt);

  // Looked up as written and in lower case, alone or in a longer phrase.
  std::string shouted = outside[1];
  for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  Decoder taught(model, defaultEngineSettings(), {outside[0], "go " + shouted + " " + outside[2]});
  for (const std::string& word : outside) {
    auto entry = std::find_if(entries.begin(), entries.end(),
                              [&](const auto& e) { return e.first == word; });
    EXPECT_EQ(taught.pronunciation(word), entry->second) << word;
  }
  EXPECT_EQ(taught.pronunciation("go"), plain.pronunciation("go"));
}

}  // namespace
}  // namespace earshot::platform::linuxos
