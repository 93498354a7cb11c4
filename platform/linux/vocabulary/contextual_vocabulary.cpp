#include "platform/linux/vocabulary/contextual_vocabulary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace earshot::platform::linuxos {
namespace {

std::vector<std::string> splitWords(std::string_view phrase) {
  std::vector<std::string> words;
  size_t at = 0;
  while (at < phrase.size()) {
    size_t start = phrase.find_first_not_of(" \t\r\n\f\v", at);
    if (start == std::string_view::npos) break;
    size_t end = phrase.find_first_of(" \t\r\n\f\v", start);
    if (end == std::string_view::npos) end = phrase.size();
    words.emplace_back(phrase.substr(start, end - start));
    at = end;
  }
  return words;
}

std::string asciiLower(std::string word) {
  for (char& c : word) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return word;
}

// The engine reads "<...>", "[...]" and "+..." as fillers and "word(2)" as
// an alternate pronunciation; an added word must not look like either.
std::string plainWord(std::string word) {
  std::erase_if(word, [](char c) { return c == '(' || c == ')'; });
  size_t start = word.find_first_not_of("<[+");
  return start == std::string::npos ? std::string() : word.substr(start);
}

size_t phoneCount(std::string_view phones) {
  return splitWords(phones).size();
}

}  // namespace

ContextualVocabulary::ContextualVocabulary(const std::vector<std::string>& phrases,
                                           const Lookup& lookup, const Pronounce& pronounce) {
  std::set<std::string, std::less<>> added, seen;
  for (const std::string& phrase : phrases) {
    Compound compound;
    std::string allPhones;
    for (const std::string& written : splitWords(phrase)) {
      std::string word = written;
      std::optional<std::string> phones = lookup(word);
      if (!phones) {
        std::string lower = asciiLower(word);
        if (phones = lookup(lower); phones) word = lower;
      }
      if (!phones) {
        word = plainWord(word);
        if (word.empty()) continue;
        phones = pronounce(word);
        if (phones->empty()) continue;
        if (added.insert(word).second) additions_.emplace_back(word, *phones);
      }
      compound.words.push_back(word);
      compound.phoneCounts.push_back(phoneCount(*phones));
      if (!allPhones.empty()) allPhones += ' ';
      allPhones += *phones;
    }
    if (compound.words.empty()) continue;
    std::string token = compound.words.front();
    if (compound.words.size() > 1) {
      for (size_t i = 1; i < compound.words.size(); ++i) token += "_" + compound.words[i];
      if (!compounds_.contains(token) && added.insert(token).second) {
        additions_.emplace_back(token, allPhones);
        compounds_.emplace(token, std::move(compound));
      }
    }
    if (seen.insert(token).second) tokens_.push_back(token);
  }
}

std::vector<std::string> ContextualVocabulary::lookupSpellings(
    const std::vector<std::string>& phrases) {
  std::vector<std::string> spellings;
  for (const std::string& phrase : phrases) {
    for (std::string& word : splitWords(phrase)) {
      std::string lower = asciiLower(word);
      if (lower != word) spellings.push_back(std::move(lower));
      spellings.push_back(std::move(word));
    }
  }
  return spellings;
}

std::string ContextualVocabulary::arpa() const {
  // Sentence markers are required but never predicted here.
  char probability[32];
  std::snprintf(probability, sizeof probability, "%.6f",
                -std::log10(static_cast<double>(std::max<size_t>(tokens_.size(), 1))));
  std::string text = "\\data\\\nngram 1=" + std::to_string(tokens_.size() + 2) +
                     "\n\n\\1-grams:\n-99 <s> 0\n-99 </s> 0\n";
  for (const std::string& token : tokens_) text += std::string(probability) + " " + token + " 0\n";
  return text + "\n\\end\\\n";
}

const ContextualVocabulary::Compound* ContextualVocabulary::compound(std::string_view token) const {
  auto found = compounds_.find(token);
  return found == compounds_.end() ? nullptr : &found->second;
}

}  // namespace earshot::platform::linuxos
