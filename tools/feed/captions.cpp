#include "tools/feed/captions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "protocol/json_text.h"

namespace earshot::feed {
namespace {

size_t characters(std::string_view text) {
  size_t count = 0;
  for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return count;
}

// The words of a final with times: earshot's own, or the text's words with
// the final's span shared out by their length.
std::vector<TimedWord> timedWords(const EarshotLine& final) {
  std::vector<TimedWord> words;
  for (const TimedWord& word : final.words) {
    if (!word.text.empty()) words.push_back(word);
  }
  if (!words.empty() || !final.start || !final.end) return words;
  std::istringstream in(final.text);
  for (std::string text; in >> text;) words.push_back({text, 0, 0, std::nullopt});
  size_t total = 0;
  for (const TimedWord& word : words) total += characters(word.text) + 1;
  double at = *final.start, span = std::max(0.0, *final.end - *final.start);
  for (TimedWord& word : words) {
    word.start = at;
    at += span * double(characters(word.text) + 1) / double(total);
    word.end = at;
  }
  return words;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

}  // namespace

namespace {

// The characters of words[from, to) on one line, spaces included.
size_t lineLength(const std::vector<TimedWord>& words, size_t from, size_t to) {
  size_t length = 0;
  for (size_t i = from; i < to; ++i) length += characters(words[i].text) + (i > from ? 1 : 0);
  return length;
}

// Whether the speaker pauses after words[i].
bool pauseAfter(const std::vector<TimedWord>& words, size_t i) {
  return i + 1 < words.size() && words[i + 1].start - words[i].end >= kCaptionPause;
}

bool isShort(const TimedWord& word) {
  return characters(word.text) <= kCaptionShortWord;
}

// Where the second line of words[from, to) starts: `to` when one line
// holds them; 0 when two lines cannot. Of the breaks that fit, the best
// balances the lines, is at a pause if one can be, and never leaves one
// short word alone on the second line.
size_t secondLine(const std::vector<TimedWord>& words, size_t from, size_t to) {
  if (lineLength(words, from, to) <= kCaptionLineLength) return to;
  size_t best = 0;
  long bestScore = 0;
  for (size_t at = from + 1; at < to; ++at) {
    size_t first = lineLength(words, from, at), second = lineLength(words, at, to);
    if (first > kCaptionLineLength || second > kCaptionLineLength) continue;
    long score = long(std::max(first, second));
    if (pauseAfter(words, at - 1)) score -= long(kCaptionLineLength) / 2;
    if (at + 1 == to && isShort(words[at])) score += 1000;
    if (best == 0 || score < bestScore) {
      best = at;
      bestScore = score;
    }
  }
  return best;
}

}  // namespace

std::vector<Cue> cuesOfFinal(const EarshotLine& final, double offset) {
  std::vector<TimedWord> words = timedWords(final);
  std::vector<Cue> cues;
  size_t from = 0;
  while (from < words.size()) {
    // As many words as two lines hold (at least one, however long)...
    size_t to = from + 1;
    while (to < words.size() && secondLine(words, from, to + 1) != 0) ++to;
    if (to < words.size()) {
      // ...ending at the last pause in the cue's second half, if any...
      size_t whole = lineLength(words, from, to);
      for (size_t at = to; at > from + 1; --at) {
        if (pauseAfter(words, at - 1) && 2 * lineLength(words, from, at) >= whole) {
          to = at;
          break;
        }
      }
    }
    size_t second = secondLine(words, from, to);
    // ...and without one short word alone on the second line, unless it
    // is all there is.
    if (second + 1 == to && isShort(words[second]) && to < words.size()) {
      --to;
      second = secondLine(words, from, to);
    }
    Cue cue;
    cue.start = words[from].start + offset;
    for (size_t i = from; i < to; ++i) {
      if (i > from) cue.text += i == second ? '\n' : ' ';
      cue.text += words[i].text;
      cue.end = std::max(cue.start, words[i].end + offset);
    }
    cues.push_back(std::move(cue));
    from = to;
  }
  return cues;
}

std::string captionTime(double seconds, char fractionSeparator) {
  long long ms = std::llround(std::max(0.0, seconds) * 1000.0);
  char text[40];
  std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld%c%03lld", ms / 3'600'000, ms / 60'000 % 60,
                ms / 1000 % 60, fractionSeparator, ms % 1000);
  return text;
}

std::string srtBlock(int number, const Cue& cue) {
  return std::to_string(number) + "\n" + captionTime(cue.start, ',') + " --> " +
         captionTime(cue.end, ',') + "\n" + cue.text + "\n\n";
}

std::string vttBlock(const Cue& cue) {
  return captionTime(cue.start, '.') + " --> " + captionTime(cue.end, '.') + "\n" + cue.text +
         "\n\n";
}

std::string wordLines(const EarshotLine& final, double offset, std::string_view input) {
  std::string lines;
  for (const TimedWord& word : timedWords(final)) {
    lines += "{";
    if (!input.empty()) lines += "\"input\":" + protocol::jsonString(input) + ",";
    lines += "\"text\":" + protocol::jsonString(word.text) +
             ",\"start\":" + number(word.start + offset) + ",\"end\":" + number(word.end + offset);
    if (word.confidence) lines += ",\"confidence\":" + number(*word.confidence);
    lines += "}\n";
  }
  return lines;
}

}  // namespace earshot::feed
