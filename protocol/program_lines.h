#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::protocol {

// One word of a transcript with "audioTimeRange": seconds from the start
// of its session; confidence only on finals with "transcriptionConfidence".
struct TimedWord {
  std::string text;
  double start = 0, end = 0;
  std::optional<double> confidence;
};

// The members of one line from the program that a host looks at. Members a
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
  // Transcript times and confidence, when "init" asked for them.
  std::optional<double> start, end, confidence;
  std::vector<TimedWord> words;
};

// nullopt when the line is not a JSON object with a string "type".
std::optional<EarshotLine> parseEarshotLine(std::string_view line);

}  // namespace earshot::protocol
