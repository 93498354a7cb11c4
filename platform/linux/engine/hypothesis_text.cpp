#include "platform/linux/engine/hypothesis_text.h"

namespace earshot::platform::linuxos {
namespace {

bool isFiller(std::string_view word) {
  if (word.size() >= 2 && word.front() == '<' && word.back() == '>') return true;
  if (word.size() >= 2 && word.front() == '[' && word.back() == ']') return true;
  if (word.size() >= 4 && word.substr(0, 2) == "++" && word.substr(word.size() - 2) == "++")
    return true;
  return false;
}

// "word(2)" -> "word"; a word that is only digits in parentheses stays.
std::string_view withoutAlternate(std::string_view word) {
  if (word.size() < 4 || word.back() != ')') return word;
  size_t open = word.rfind('(');
  if (open == std::string_view::npos || open == 0 || open + 2 > word.size() - 1) return word;
  for (size_t i = open + 1; i + 1 < word.size(); ++i) {
    if (word[i] < '0' || word[i] > '9') return word;
  }
  return word.substr(0, open);
}

}  // namespace

std::optional<std::string_view> spokenWord(std::string_view engineWord) {
  if (isFiller(engineWord)) return std::nullopt;
  return withoutAlternate(engineWord);
}

std::string hypothesisText(std::string_view hypothesis) {
  std::string text;
  size_t at = 0;
  while (at < hypothesis.size()) {
    size_t start = hypothesis.find_first_not_of(" \t\r\n", at);
    if (start == std::string_view::npos) break;
    size_t end = hypothesis.find_first_of(" \t\r\n", start);
    if (end == std::string_view::npos) end = hypothesis.size();
    std::string_view word = hypothesis.substr(start, end - start);
    at = end;
    std::optional<std::string_view> spoken = spokenWord(word);
    if (!spoken) continue;
    if (!text.empty()) text += ' ';
    text += *spoken;
  }
  return text;
}

}  // namespace earshot::platform::linuxos
