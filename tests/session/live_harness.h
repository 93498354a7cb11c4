#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/scripted/scripted_platform.h"

namespace earshot::testing {

// A live-mode run with the host simulated line by line: standard input is a
// list of lines served one per read (so what was never read is known), and
// standard output is a pipe drained by a thread of the harness (so long
// lines really are written in pieces).
class LiveHarness {
 public:
  struct Line {
    std::string text;  // without the line feed
    // When set, the line is held back until this holds for the output
    // written so far.
    std::function<bool(const std::vector<std::string>& written)> after;
  };

  struct Outcome {
    int status = -1;
    std::vector<std::string> lines;  // everything written, one entry per line
    size_t linesRead = 0;            // input lines the mode took in
    bool waitsMet = true;            // every `after` held before its line went out
  };

  // A platform with en-US supported and installed and a 16 kHz analyzer.
  static platform::scripted::ScriptedPlatform defaultPlatform();

  // Runs the live mode to its end; input ends after the last line.
  static Outcome run(const platform::scripted::ScriptedPlatform& scripted,
                     const std::vector<Line>& input);
};

// Input lines.
std::string initLine(const std::string& locale = "en-US");
std::string audioLine(const std::vector<int16_t>& samples, double sampleRate);
std::string audioLineWithPcm(const std::string& pcmJson, const std::string& rateJson);
// Standard Base64 of little-endian int16 samples / of bytes.
std::string base64(const std::vector<int16_t>& samples);
std::string base64Bytes(const std::string& bytes);

// Output lines, exactly as the program writes them.
std::string readyLine(const std::string& locale = "en-US", const std::string& rate = "16000");
std::string transcriptLine(const std::string& text, bool isFinal);
std::string errorLine(const std::string& message);
inline const std::string kStoppedLine = R"({"type":"stopped"})";

// The JSON reader's description of a syntax error in `line`.
std::string jsonErrorFor(const std::string& line);

// The log entries that start with any of the prefixes, in order.
std::vector<std::string> callsMatching(const platform::scripted::CallLog& log,
                                       const std::vector<std::string>& prefixes);

}  // namespace earshot::testing
