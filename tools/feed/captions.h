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

// Longest caption line, in characters, and two lines to a cue at most: the
// usual limits of subtitle style guides.
constexpr size_t kCaptionLineLength = 42;
// A silence between words at least this long (seconds) is a pause, where
// a cue or a line had best end; a word of at most kCaptionShortWord
// characters is short, and never stands alone on a second line.
constexpr double kCaptionPause = 0.3;
constexpr size_t kCaptionShortWord = 4;

// The cues of one final transcript with word times, its times shifted by
// `offset`. A long final becomes several cues, each word staying in the cue
// whose text holds it. A cue ends at a pause in its second half if it has
// one, and its lines break where they balance best, at a pause when one
// fits (see secondLine in the source); without word times a final's own
// start and end are shared out by length. Empty when the final has no text
// or no times.
std::vector<Cue> cuesOfFinal(const EarshotLine& final, double offset);

// "00:01:02,003" (SRT) or "00:01:02.003" (WebVTT), rounded to milliseconds.
std::string captionTime(double seconds, char fractionSeparator);

// One numbered SRT block, or one WebVTT cue; each ends with a blank line.
std::string srtBlock(int number, const Cue& cue);
std::string vttBlock(const Cue& cue);
constexpr std::string_view kVttHeader = "WEBVTT\n\n";

// One JSON line per word of a final: text, start and end shifted by
// `offset`, and confidence when earshot gave one; `input` names the file,
// when there is one (empty: none).
std::string wordLines(const EarshotLine& final, double offset, std::string_view input);

}  // namespace earshot::feed
