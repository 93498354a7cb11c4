#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/locale.h"

namespace earshot::platform::linuxos {

// A language's cased word list: which words are always written with
// capitals (names, places, days, months, languages) and which words the list
// knows at all. A word the list holds both capitalised and in lower case
// ("may", "bill", "mark") is not always capitalised.
class CasedWords {
 public:
  CasedWords() = default;
  // Reads a list of one word a line; a line's text after "/" (a hunspell
  // dictionary's flags) and a first line that is only a count are ignored,
  // and so are possessive entries ("Monday's"). A missing file gives an
  // empty list.
  static CasedWords fromFile(const std::string& path);

  // The written form of a word, given in lower case, that is always
  // capitalised; nullopt for any other word.
  std::optional<std::string_view> alwaysCapitalised(std::string_view lower) const;
  // Whether the list has the word, given in lower case, in any casing.
  bool knows(std::string_view lower) const;
  // Whether the list has a capitalised form of the word (always or
  // sometimes a name).
  bool canBeName(std::string_view lower) const;
  bool empty() const { return entries_.empty(); }

 private:
  // One word of the list, its forms as places in `text_`: a list of 100,000
  // words takes 3 MB this way, where a hash set of strings took 18.
  struct Entry {
    uint32_t lower = 0, written = 0;
    uint16_t lowerSize = 0, writtenSize = 0;  // writtenSize 0: no capitalised form
    bool inLowerCase = false;                 // the list holds the word in lower case too
  };
  const Entry* find(std::string_view lower) const;
  std::string_view lowerOf(const Entry& entry) const {
    return std::string_view(text_).substr(entry.lower, entry.lowerSize);
  }

  std::string text_;            // every form, one after the other
  std::vector<Entry> entries_;  // one per word, by lower-case form
};

// The list for a locale's language, read once per process and shared; an
// empty list for a language without one on this machine.
std::shared_ptr<const CasedWords> casedWordsFor(const Locale& locale);

// Where the list for a locale sits ("/usr/share/dict/american-english"), or
// an empty string.
std::string casedWordsPath(const Locale& locale);

}  // namespace earshot::platform::linuxos
