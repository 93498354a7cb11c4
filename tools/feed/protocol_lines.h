#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::feed {

// Lines to earshot, each with its line feed.
std::string initLine(std::string_view locale);
std::string audioLine(std::span<const int16_t> samples, int sampleRate);
std::string flushLine();
std::string stopLine();

// A JSON string literal for `text`, quotes included.
std::string jsonString(std::string_view text);

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
};

// nullopt when the line is not a JSON object with a string "type".
std::optional<EarshotLine> parseEarshotLine(std::string_view line);

}  // namespace earshot::feed
