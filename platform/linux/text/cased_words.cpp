#include "platform/linux/text/cased_words.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

namespace earshot::platform::linuxos {
namespace {

std::string asciiLower(std::string_view word) {
  std::string lower(word);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

bool onlyDigits(std::string_view line) {
  return !line.empty() && line.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

CasedWords CasedWords::fromFile(const std::string& path) {
  CasedWords words;
  std::ifstream in(path);
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    std::string_view word(line);
    if (size_t flags = word.find('/'); flags != std::string_view::npos)
      word = word.substr(0, flags);
    while (!word.empty() && (word.back() == '\r' || word.back() == ' ')) word.remove_suffix(1);
    if (first && onlyDigits(word)) word = {};
    first = false;
    if (word.empty() || word.ends_with("'s")) continue;
    std::string lower = asciiLower(word);
    words.known_.insert(lower);
    if (lower == word) {
      words.lowerWords_.insert(lower);
    } else {
      words.capitalised_.try_emplace(std::move(lower), word);
    }
  }
  return words;
}

std::optional<std::string_view> CasedWords::alwaysCapitalised(std::string_view lower) const {
  std::string key(lower);
  auto found = capitalised_.find(key);
  if (found == capitalised_.end() || lowerWords_.contains(key)) return std::nullopt;
  return std::string_view(found->second);
}

bool CasedWords::knows(std::string_view lower) const {
  return known_.contains(std::string(lower));
}

bool CasedWords::canBeName(std::string_view lower) const {
  return capitalised_.contains(std::string(lower));
}

std::string casedWordsPath(const Locale& locale) {
  const std::string& id = locale.canonical();
  if (id != "en" && !id.starts_with("en_")) return {};
  // British spelling for the English of Britain and the Commonwealth,
  // American otherwise.
  static const char* const kBritish[] = {"en_GB", "en_AU", "en_NZ", "en_IE", "en_IN", "en_ZA"};
  for (const char* british : kBritish) {
    if (id.starts_with(british) && std::filesystem::exists("/usr/share/dict/british-english")) {
      return "/usr/share/dict/british-english";
    }
  }
  return "/usr/share/dict/american-english";
}

std::shared_ptr<const CasedWords> casedWordsFor(const Locale& locale) {
  static std::mutex mutex;
  static std::map<std::string, std::shared_ptr<const CasedWords>> lists;
  std::string path = casedWordsPath(locale);
  std::lock_guard lock(mutex);
  auto& list = lists[path];
  if (!list) {
    list = std::make_shared<const CasedWords>(path.empty() ? CasedWords()
                                                           : CasedWords::fromFile(path));
  }
  return list;
}

}  // namespace earshot::platform::linuxos
