#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::feed {

// What "init" asks for besides the locale: word times and confidence on
// transcripts, phrases to expect, and a "flushed" answer to every "flush".
// Left empty, "init" is as plain as earshot's oldest hosts send it.
struct InitExtras {
  bool wordTimes = false;
  bool confidence = false;
  std::vector<std::string> phrases;
  bool acknowledgeFlush = false;
  bool spoken = false;  // "textForm":"spoken"
};

// Lines to earshot, each with its line feed.
std::string initLine(std::string_view locale, const InitExtras& extras = {});
// The rate in its shortest exact decimal form: 16000, 16000.5.
std::string audioLine(std::span<const int16_t> samples, double sampleRate);
std::string flushLine();
std::string stopLine();

// A JSON string literal for `text`, quotes included.
std::string jsonString(std::string_view text);

// One word of a transcript with "audioTimeRange": seconds from the start
// of its session; confidence only on finals with "transcriptionConfidence".
struct TimedWord {
  std::string text;
  double start = 0, end = 0;
  std::optional<double> confidence;
};

// The members of one line from earshot that this tool looks at. Members a
// line does not carry keep their defaults.
struct EarshotLine {
  std::string type;
  std::string text;
  bool isFinal = false;
  std::string message;
  std::string locale;
  std::string phase;
  double sampleRate = 0;
  double fraction = 0;
  bool available = false;
  bool released = false;
  std::vector<std::string> supported, installed, reserved;
  std::optional<int64_t> maxReserved;
  // Transcript times and confidence, when earshot was asked for them.
  std::optional<double> start, end, confidence;
  std::vector<TimedWord> words;
};

// nullopt when the line is not a JSON object with a string "type".
std::optional<EarshotLine> parseEarshotLine(std::string_view line);

}  // namespace earshot::feed
