#include "tests/support/host_lines.h"

#include <cstdio>

#include "channel/byte_source.h"
#include "channel/json_message.h"
#include "channel/line_reader.h"
#include "channel/outgoing_message.h"
#include "tests/support/base64.h"

namespace earshot::testkit {

std::string initLine(const std::string& locale, const std::string& members) {
  return R"({"type":"init","locale":")" + locale + "\"" + (members.empty() ? "" : ",") + members +
         "}";
}

std::string audioLineWithPcm(const std::string& pcmJson, const std::string& rateJson) {
  return R"({"type":"audio","pcm":)" + pcmJson + R"(,"sampleRate":)" + rateJson + "}";
}

std::string audioLine(const std::vector<int16_t>& samples, double sampleRate) {
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.17g", sampleRate);
  return audioLineWithPcm("\"" + base64(samples) + "\"", rate);
}

std::string flushLine() {
  return R"({"type":"flush"})";
}

std::string stopLine() {
  return R"({"type":"stop"})";
}

std::string readyLine(const std::string& locale, const std::string& rate) {
  return R"({"type":"ready","locale":")" + locale + R"(","sampleRate":)" + rate + "}";
}

std::string transcriptLine(const std::string& text, bool isFinal) {
  return channel::OutgoingMessage("transcript")
      .add("text", text)
      .add("isFinal", isFinal)
      .serialize()
      .value();
}

std::string errorLine(const std::string& message) {
  return channel::OutgoingMessage("error").add("message", message).serialize().value();
}

std::string stoppedLine() {
  return R"({"type":"stopped"})";
}

std::string flushedLine() {
  return R"({"type":"flushed"})";
}

std::string jsonErrorOf(const std::string& line) {
  std::string terminated = line + "\n";
  channel::MemoryByteSource source(terminated);
  channel::LineReader reader(source);
  channel::JsonMessageParser parser;
  try {
    parser.parse(reader.next().value());
  } catch (const channel::JsonSyntaxError& error) {
    return error.what();
  }
  return {};
}

}  // namespace earshot::testkit
