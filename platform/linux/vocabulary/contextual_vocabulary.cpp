#include "platform/linux/vocabulary/contextual_vocabulary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "platform/phrase_words.h"

namespace earshot::platform::linuxos {
namespace {

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
  size_t count = 0;
  for (size_t at = 0; (at = phones.find_first_not_of(' ', at)) != std::string_view::npos;
       at = phones.find(' ', at)) {
    ++count;
  }
  return count;
}

}  // namespace

ContextualVocabulary::ContextualVocabulary(const std::vector<std::string>& phrases,
                                           const Lookup& lookup, const Pronounce& pronounce) {
  // Every word added to the engine, with its phones. A name is shared only
  // by entries that sound the same; another sound under the same name (a
  // one-word phrase "go_forward" against the compound of "go forward") gets
  // a name of its own, so each phrase keeps its own pronunciation.
  std::map<std::string, std::string, std::less<>> addedPhones;
  auto add = [&](const std::string& name, const std::string& phones) {
    std::string unique = name;
    for (int n = 2;; ++n) {
      auto found = addedPhones.find(unique);
      if (found == addedPhones.end()) break;
      if (found->second == phones) return unique;
      unique = name + "-" + std::to_string(n);
    }
    addedPhones.emplace(unique, phones);
    additions_.emplace_back(unique, phones);
    return unique;
  };
  std::set<std::string, std::less<>> seen;
  for (const std::string& phrase : phrases) {
    Compound compound;
    std::vector<std::string> engineWords;
    std::string allPhones;
    for (std::string_view given : platform::phraseWords(phrase)) {
      const std::string written(given);
      std::string word = written;
      std::optional<std::string> phones = lookup(word);
      if (!phones) {
        std::string lower = asciiLower(word);
        if (phones = lookup(lower); phones) word = lower;
      }
      if (phones) {
        // The dictionary's word, in the dictionary's spelling.
        compound.words.push_back(word);
      } else {
        std::string plain = plainWord(word);
        if (plain.empty()) continue;
        phones = pronounce(plain);
        if (phones->empty()) continue;
        word = add(plain, *phones);
        // The engine's name may differ from what the host wrote; the host's
        // spelling is what is written back.
        if (word != written) spellings_.emplace(word, written);
        compound.words.push_back(written);
      }
      engineWords.push_back(word);
      compound.phoneCounts.push_back(phoneCount(*phones));
      if (!allPhones.empty()) allPhones += ' ';
      allPhones += *phones;
    }
    if (engineWords.empty()) continue;
    std::string token = engineWords.front();
    if (engineWords.size() > 1) {
      for (size_t i = 1; i < engineWords.size(); ++i) token += "_" + engineWords[i];
      token = add(token, allPhones);
      // Of a one-word phrase and a compound that sound the same, the
      // compound is what was spoken: it is written as its words.
      compounds_.try_emplace(token, std::move(compound));
    }
    if (seen.insert(token).second) tokens_.push_back(token);
  }
}

std::optional<std::string_view> ContextualVocabulary::spelling(std::string_view token) const {
  auto found = spellings_.find(token);
  if (found == spellings_.end()) return std::nullopt;
  return found->second;
}

std::vector<std::string> ContextualVocabulary::lookupSpellings(
    const std::vector<std::string>& phrases) {
  std::vector<std::string> spellings;
  for (const std::string& phrase : phrases) {
    for (std::string_view given : platform::phraseWords(phrase)) {
      std::string word(given);
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
