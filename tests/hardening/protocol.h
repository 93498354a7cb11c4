#pragma once

#include <string>

#include "app/channel/outgoing_message.h"

namespace earshot::hardening {

// Host lines, with their line feed.
inline std::string initLine(const std::string& locale = "en-US") {
  return R"({"type":"init","locale":")" + locale + "\"}\n";
}
inline std::string stopLine() {
  return "{\"type\":\"stop\"}\n";
}
inline std::string flushLine() {
  return "{\"type\":\"flush\"}\n";
}
// Program lines, without it, byte for byte as the program writes them (the
// error line through the program's own message builder).
inline std::string readyLine() {
  return R"({"type":"ready","locale":"en-US","sampleRate":16000})";
}
inline std::string stoppedLine() {
  return R"({"type":"stopped"})";
}
inline std::string errorLine(const std::string& message) {
  return *OutgoingMessage("error").add("message", message).serialize();
}

// What the program's own line reader and parser say about `line` (without
// its line feed): the JSON reader's description of its syntax error.
std::string jsonErrorOf(const std::string& line);

}  // namespace earshot::hardening
