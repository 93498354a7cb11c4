#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace earshot::platform::linuxos {

// What a list of contextual phrases adds to a decoder. Each phrase becomes
// one token of a small phrase language model that is interpolated with the
// model's own: a word for a one-word phrase, and for a longer phrase a
// compound word ("Velandra_Quinnova") whose pronunciation is that of its
// words, so the phrase is favoured as a whole rather than word by word.
// Words the dictionary lacks are added with pronunciations made for them and
// are written back in the host's spelling, exactly as given ("<go>forward",
// which the engine itself must know by another name); words it has keep the
// dictionary's spelling. Phrases are split into words at Unicode white
// space. Two phrases that differ only in "_" against a space keep their own
// pronunciations, so the one that was spoken is the one written; when they
// sound the same, the phrase with the space is written.
class ContextualVocabulary {
 public:
  // The dictionary's phones for a word spelled exactly so, or nullopt.
  using Lookup = std::function<std::optional<std::string>(const std::string& word)>;
  // Phones for a word the dictionary lacks.
  using Pronounce = std::function<std::string(const std::string& word)>;

  // A token made of several words, and how many phones each word has (its
  // share of the token's audio).
  struct Compound {
    std::vector<std::string> words;
    std::vector<size_t> phoneCounts;
  };

  ContextualVocabulary() = default;
  ContextualVocabulary(const std::vector<std::string>& phrases, const Lookup& lookup,
                       const Pronounce& pronounce);

  // Every spelling under which the phrases' words are looked up in the
  // dictionary: each word as written and in ASCII lower case.
  static std::vector<std::string> lookupSpellings(const std::vector<std::string>& phrases);

  bool empty() const { return tokens_.empty(); }
  // Dictionary entries to add, in order: (word, phones).
  const std::vector<std::pair<std::string, std::string>>& additions() const { return additions_; }
  // One token per distinct phrase, in the order first given.
  const std::vector<std::string>& tokens() const { return tokens_; }
  // The phrase model in ARPA text: every token equally likely, no history.
  std::string arpa() const;
  // The compound a recognized token stands for, or nullptr for a plain word.
  const Compound* compound(std::string_view token) const;
  // The host's spelling of a plain token the engine knows by another name,
  // or nullopt when the token is written as it is.
  std::optional<std::string_view> spelling(std::string_view token) const;

 private:
  std::vector<std::pair<std::string, std::string>> additions_;
  std::vector<std::string> tokens_;
  std::map<std::string, Compound, std::less<>> compounds_;
  std::map<std::string, std::string, std::less<>> spellings_;
};

}  // namespace earshot::platform::linuxos
