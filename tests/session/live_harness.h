#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/scripted/scripted_platform.h"
#include "tests/support/host_lines.h"

namespace earshot::testkit {

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

// An en-US "init" line (without its line feed) with more members, given as
// JSON text: R"("textForm":"spoken")".
std::string initWith(const std::string& members);

// Runs the live mode on initWith(members) and expects the handshake to fail
// with `error` as its one line, the platform asked nothing but whether it is
// available.
void expectInitRefused(const std::string& members, const std::string& error);

// The log entries that start with any of the prefixes, in order.
std::vector<std::string> callsMatching(const platform::scripted::CallLog& log,
                                       const std::vector<std::string>& prefixes);

}  // namespace earshot::testkit
