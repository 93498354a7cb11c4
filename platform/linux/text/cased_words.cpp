#include "platform/linux/text/cased_words.h"

#include <algorithm>
#include <cstdint>
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
    if (word.empty() || word.ends_with("'s") || word.size() > UINT16_MAX) continue;
    std::string lower = asciiLower(word);
    Entry entry;
    entry.lower = static_cast<uint32_t>(words.text_.size());
    entry.lowerSize = static_cast<uint16_t>(lower.size());
    words.text_ += lower;
    if (lower == word) {
      entry.inLowerCase = true;
    } else {
      entry.written = static_cast<uint32_t>(words.text_.size());
      entry.writtenSize = static_cast<uint16_t>(word.size());
      words.text_ += word;
    }
    words.entries_.push_back(entry);
  }
  // One entry per word: in lower case if the list has it so, capitalised as
  // its first capitalised line has it.
  std::stable_sort(
      words.entries_.begin(), words.entries_.end(),
      [&words](const Entry& a, const Entry& b) { return words.lowerOf(a) < words.lowerOf(b); });
  std::vector<Entry> merged;
  for (const Entry& entry : words.entries_) {
    if (merged.empty() || words.lowerOf(merged.back()) != words.lowerOf(entry)) {
      merged.push_back(entry);
      continue;
    }
    Entry& kept = merged.back();
    kept.inLowerCase = kept.inLowerCase || entry.inLowerCase;
    if (kept.writtenSize == 0) {
      kept.written = entry.written;
      kept.writtenSize = entry.writtenSize;
    }
  }
  merged.shrink_to_fit();
  words.entries_ = std::move(merged);
  words.text_.shrink_to_fit();
  return words;
}

const CasedWords::Entry* CasedWords::find(std::string_view lower) const {
  auto found = std::lower_bound(
      entries_.begin(), entries_.end(), lower,
      [this](const Entry& entry, std::string_view key) { return lowerOf(entry) < key; });
  if (found == entries_.end() || lowerOf(*found) != lower) return nullptr;
  return &*found;
}

std::optional<std::string_view> CasedWords::alwaysCapitalised(std::string_view lower) const {
  const Entry* entry = find(lower);
  if (entry == nullptr || entry->writtenSize == 0 || entry->inLowerCase) return std::nullopt;
  return std::string_view(text_).substr(entry->written, entry->writtenSize);
}

bool CasedWords::knows(std::string_view lower) const {
  return find(lower) != nullptr;
}

bool CasedWords::canBeName(std::string_view lower) const {
  const Entry* entry = find(lower);
  return entry != nullptr && entry->writtenSize != 0;
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
