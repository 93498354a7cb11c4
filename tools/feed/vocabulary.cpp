#include "tools/feed/vocabulary.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace earshot::feed {
namespace {

// earshot's limits on "contextualStrings".
constexpr size_t kMaxPhrases = 100, kMaxWords = 10, kMaxBytes = 100;

size_t wordsIn(const std::string& phrase) {
  std::istringstream in(phrase);
  size_t count = 0;
  for (std::string word; in >> word;) ++count;
  return count;
}

// Well-formed UTF-8 (no overlong forms, no surrogates), as earshot's JSON
// reader insists.
bool isUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80           ? 1
                    : (c >> 5) == 0x6  ? 2
                    : (c >> 4) == 0xE  ? 3
                    : (c >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t point = length == 1 ? c : c & (0xFF >> (length + 1));
    for (size_t k = 1; k < length; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      point = point << 6 | (next & 0x3F);
    }
    const uint32_t lowest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < lowest[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

std::string quoted(const std::string& phrase) {
  return "\"" + phrase + "\"";
}

// `where` names the phrase's origin: "--vocabulary" or "FILE line N".
void checkPhrase(const std::string& phrase, const std::string& where) {
  size_t words = wordsIn(phrase);
  if (words == 0) throw UsageError(where + ": a blank phrase");
  if (words > kMaxWords || phrase.size() > kMaxBytes) {
    throw UsageError(where + ": " + quoted(phrase) + " has " + std::to_string(words) +
                     " words and " + std::to_string(phrase.size()) +
                     " bytes; a phrase may have 1 to 10 words and at most 100 bytes");
  }
}

void readFile(const std::string& path, std::vector<std::string>& phrases) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT) throw UsageError("--vocabulary-file " + path + ": no such file");
    throw UsageError("--vocabulary-file " + path + ": cannot be read: " + std::strerror(errno));
  }
  if (S_ISDIR(status.st_mode)) {
    throw UsageError("--vocabulary-file " + path + ": a directory, not a file of phrases");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    throw UsageError("--vocabulary-file " + path + ": cannot be read: " + std::strerror(errno));
  }
  size_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    std::string where = path + " line " + std::to_string(number);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('\0') != line.npos || !isUtf8(line)) {
      throw UsageError(where + ": not text (one phrase per line, in UTF-8)");
    }
    if (line.find_first_not_of(" \t") == line.npos) continue;
    checkPhrase(line, where);
    phrases.push_back(line);
  }
  if (in.bad()) {
    throw UsageError("--vocabulary-file " + path + ": cannot be read: " + std::strerror(errno));
  }
}

}  // namespace

std::vector<std::string> vocabularyOf(const FeedOptions& options) {
  std::vector<std::string> phrases;
  for (const std::string& phrase : options.vocabulary) {
    if (!isUtf8(phrase)) throw UsageError("--vocabulary " + quoted(phrase) + ": not UTF-8 text");
    checkPhrase(phrase, "--vocabulary");
    phrases.push_back(phrase);
  }
  if (!options.vocabularyFile.empty()) readFile(options.vocabularyFile, phrases);
  if (phrases.size() > kMaxPhrases) {
    throw UsageError(std::to_string(phrases.size()) +
                     " vocabulary phrases; earshot takes at most 100");
  }
  return phrases;
}

}  // namespace earshot::feed
