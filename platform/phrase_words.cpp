#include "platform/phrase_words.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace earshot::platform {

std::vector<std::string_view> phraseWords(std::string_view phrase) {
  std::vector<std::string_view> words;
  const auto* bytes = reinterpret_cast<const uint8_t*>(phrase.data());
  const int32_t length = static_cast<int32_t>(phrase.size());
  int32_t at = 0, wordStart = -1;
  while (at < length) {
    const int32_t start = at;
    UChar32 c = 0;
    U8_NEXT(bytes, at, length, c);
    // A byte that is not UTF-8 (c < 0) belongs to a word.
    const bool space = c >= 0 && u_hasBinaryProperty(c, UCHAR_WHITE_SPACE);
    if (space && wordStart >= 0) {
      words.push_back(phrase.substr(size_t(wordStart), size_t(start - wordStart)));
      wordStart = -1;
    } else if (!space && wordStart < 0) {
      wordStart = start;
    }
  }
  if (wordStart >= 0) words.push_back(phrase.substr(size_t(wordStart)));
  return words;
}

}  // namespace earshot::platform
