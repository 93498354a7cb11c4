#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::protocol {

// What "init" asks for besides the locale: word times and confidence on
// transcripts, phrases to expect, and a "flushed" answer to every "flush".
// Left empty, "init" is as plain as the oldest hosts send it.
struct InitExtras {
  bool wordTimes = false;
  bool confidence = false;
  std::vector<std::string> phrases;
  bool acknowledgeFlush = false;
  // "speakerAdaptation" and "speakerProfile", sent when not empty.
  std::string speakerAdaptation;
  std::string speakerProfile;
  bool spoken = false;  // "textForm": "spoken", the recognizer's bare words
};

// The host's lines, each with its line feed.
std::string initLine(std::string_view locale, const InitExtras& extras = {});
// The rate in its shortest exact decimal form: 16000, 16000.5.
std::string audioLine(std::span<const int16_t> samples, double sampleRate);
std::string flushLine();
std::string stopLine();

}  // namespace earshot::protocol
