#include "platform/linux/engine/dictionary_filter.h"

namespace earshot::platform::linuxos {
namespace {

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

}  // namespace

std::string_view dictionaryBaseWord(std::string_view word) {
  // The engine strips from the last '(' when the word ends with ')' and the
  // '(' is not its first character.
  if (word.size() < 2 || word.back() != ')') return word;
  size_t open = word.rfind('(', word.size() - 2);
  if (open == std::string_view::npos || open == 0) return word;
  return word.substr(0, open);
}

std::string filterDictionary(std::string_view text,
                             const std::function<bool(std::string_view)>& keep) {
  std::string kept;
  kept.reserve(text.size());
  while (!text.empty()) {
    size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    size_t start = 0;
    while (start < line.size() && isSpace(line[start])) ++start;
    size_t wordEnd = start;
    while (wordEnd < line.size() && !isSpace(line[wordEnd])) ++wordEnd;
    std::string_view word = line.substr(start, wordEnd - start);
    if (word.empty() || word.starts_with("##") || word.starts_with(";;")) continue;
    if (!keep(dictionaryBaseWord(word))) continue;
    kept += line;
    kept += '\n';
  }
  return kept;
}

}  // namespace earshot::platform::linuxos
