#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/program_lines.h"

namespace earshot::feed {

using protocol::EarshotLine;
using protocol::TimedWord;

// One caption: up to two lines of text on screen from `start` to `end`
// (seconds from the start of the recording).
struct Cue {
  double start = 0, end = 0;
  std::string text;  // lines joined by "\n"
};

// Longest caption line, in characters, and lines per cue: the usual limits
// of subtitle style guides.
constexpr size_t kCaptionLineLength = 42;
constexpr size_t kCaptionLines = 2;

// The cues of one final transcript with word times, its times shifted by
// `offset`. A long final becomes several cues, each word staying in the cue
// whose text holds it; without word times a final's own start and end are
// shared out by length. Empty when the final has no text or no times.
std::vector<Cue> cuesOfFinal(const EarshotLine& final, double offset);

// "00:01:02,003" (SRT) or "00:01:02.003" (WebVTT), rounded to milliseconds.
std::string captionTime(double seconds, char fractionSeparator);

// One numbered SRT block, or one WebVTT cue; each ends with a blank line.
std::string srtBlock(int number, const Cue& cue);
std::string vttBlock(const Cue& cue);
constexpr std::string_view kVttHeader = "WEBVTT\n\n";

// One JSON line per word of a final: text, start and end shifted by
// `offset`, and confidence when earshot gave one; `input` names the file
// when several share an output.
std::string wordLines(const EarshotLine& final, double offset, std::string_view input);

}  // namespace earshot::feed
