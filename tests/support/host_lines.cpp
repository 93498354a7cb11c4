#include "tests/support/host_lines.h"

#include "channel/byte_source.h"
#include "channel/json_message.h"
#include "channel/line_reader.h"
#include "protocol/base64.h"
#include "protocol/host_lines.h"

namespace earshot::testkit {
namespace {

std::string withoutLineFeed(std::string line) {
  line.pop_back();
  return line;
}

// A JSON string as the program writes one: '/' escaped, control characters
// short or as \u00xx, other bytes raw. Written here from the rules, apart
// from the program's own writer, so the expected lines do not come from the
// code under test.
std::string quoted(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\' || c == '/') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\b') {
      out += "\\b";
    } else if (c == '\f') {
      out += "\\f";
    } else if (byte < 0x20) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace

std::string initLine(const std::string& locale, const std::string& members) {
  std::string line = withoutLineFeed(protocol::initLine(locale));
  if (!members.empty()) line.insert(line.size() - 1, "," + members);
  return line;
}

std::string audioLineWithPcm(const std::string& pcmJson, const std::string& rateJson) {
  return R"({"type":"audio","pcm":)" + pcmJson + R"(,"sampleRate":)" + rateJson + "}";
}

std::string audioLine(const std::vector<int16_t>& samples, double sampleRate) {
  return withoutLineFeed(protocol::audioLine(samples, sampleRate));
}

std::string base64(const std::vector<int16_t>& samples) {
  std::string text;
  protocol::appendPcmBase64(text, samples);
  return text;
}

std::string flushLine() {
  return R"({"type":"flush"})";
}

std::string stopLine() {
  return R"({"type":"stop"})";
}

std::string readyLine(const std::string& locale, const std::string& rate) {
  return R"({"type":"ready","locale":)" + quoted(locale) + R"(,"sampleRate":)" + rate + "}";
}

std::string transcriptLine(const std::string& text, bool isFinal) {
  return R"({"type":"transcript","text":)" + quoted(text) + R"(,"isFinal":)" +
         (isFinal ? "true" : "false") + "}";
}

std::string errorLine(const std::string& message) {
  return R"({"type":"error","message":)" + quoted(message) + "}";
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
