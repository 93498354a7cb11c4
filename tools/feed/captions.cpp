#include "tools/feed/captions.h"

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

std::vector<Cue> cuesOfFinal(const EarshotLine& final, double offset) {
  std::vector<Cue> cues;
  Cue cue;
  size_t lines = 0, lineLength = 0;
  for (const TimedWord& word : timedWords(final)) {
    size_t length = characters(word.text);
    bool fits = lines > 0 && lineLength + 1 + length <= kCaptionLineLength;
    if (!fits && lines == kCaptionLines) {
      cues.push_back(std::move(cue));
      cue = Cue{};
      lines = 0;
    }
    if (lines == 0) {
      cue.start = word.start + offset;
      lines = 1;
      lineLength = 0;
    } else if (!fits) {
      cue.text += '\n';
      ++lines;
      lineLength = 0;
    } else {
      cue.text += ' ';
      ++lineLength;
    }
    cue.text += word.text;
    lineLength += length;
    cue.end = std::max(cue.start, word.end + offset);
  }
  if (lines > 0) cues.push_back(std::move(cue));
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
