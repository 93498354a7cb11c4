#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace earshot::testkit {

// The protocol's lines as the tests write and expect them: one set for every
// test and benchmark. Each is one line without its line feed.

// Host lines (the protocol's own builders, which tests/protocol checks).
// `members`: more members of "init" as JSON text (`"textForm":"spoken"`).
std::string initLine(const std::string& locale = "en-US", const std::string& members = "");
// The members that ask for the recognizer's words as they are: lower case,
// no punctuation, numbers as words.
inline const std::string kSpokenForm = R"("textForm":"spoken")";
std::string audioLine(const std::vector<int16_t>& samples, double sampleRate);
// "pcm" and "sampleRate" as raw JSON values, for malformed messages.
std::string audioLineWithPcm(const std::string& pcmJson, const std::string& rateJson);
std::string flushLine();
std::string stopLine();
// "pcm" of little-endian 16-bit samples, without its quotes.
std::string base64(const std::vector<int16_t>& samples);

// Program lines, byte for byte as the program writes them, spelt out here
// rather than built with the program's writer.
std::string readyLine(const std::string& locale = "en-US", const std::string& rate = "16000");
std::string transcriptLine(const std::string& text, bool isFinal);
std::string errorLine(const std::string& message);
std::string stoppedLine();
std::string flushedLine();

// The JSON reader's description of the syntax error in `line` (without its
// line feed), as the program's own line reader and parser give it; empty
// when the line has none.
std::string jsonErrorOf(const std::string& line);

}  // namespace earshot::testkit
