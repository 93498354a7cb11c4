#include "tools/feed/protocol_lines.h"

#include <simdjson.h>

#include <charconv>
#include <cstdio>

#include "tools/feed/base64.h"

namespace earshot::feed {

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string initLine(std::string_view locale, const InitExtras& extras) {
  std::string line = "{\"type\":\"init\",\"locale\":" + jsonString(locale);
  if (extras.wordTimes || extras.confidence) {
    line += ",\"attributeOptions\":[";
    if (extras.wordTimes) line += "\"audioTimeRange\"";
    if (extras.wordTimes && extras.confidence) line += ",";
    if (extras.confidence) line += "\"transcriptionConfidence\"";
    line += "]";
  }
  if (!extras.phrases.empty()) {
    line += ",\"contextualStrings\":[";
    for (size_t i = 0; i < extras.phrases.size(); ++i) {
      line += (i > 0 ? "," : "") + jsonString(extras.phrases[i]);
    }
    line += "]";
  }
  if (extras.acknowledgeFlush) line += ",\"acknowledgeFlush\":true";
  if (extras.spoken) line += ",\"textForm\":\"spoken\"";
  return line + "}\n";
}

std::string audioLine(std::span<const int16_t> samples, double sampleRate) {
  char rate[32];
  auto written = std::to_chars(rate, rate + sizeof rate, sampleRate);
  std::string line =
      "{\"type\":\"audio\",\"sampleRate\":" + std::string(rate, written.ptr) + ",\"pcm\":\"";
  appendPcmBase64(line, samples);
  line += "\"}\n";
  return line;
}

std::string flushLine() {
  return "{\"type\":\"flush\"}\n";
}

std::string stopLine() {
  return "{\"type\":\"stop\"}\n";
}

namespace {

void readStrings(simdjson::dom::object object, const char* key, std::vector<std::string>& out) {
  simdjson::dom::array array;
  if (object[key].get_array().get(array)) return;
  for (simdjson::dom::element element : array) {
    std::string_view text;
    if (!element.get_string().get(text)) out.emplace_back(text);
  }
}

void readString(simdjson::dom::object object, const char* key, std::string& out) {
  std::string_view text;
  if (!object[key].get_string().get(text)) out = text;
}

void readNumber(simdjson::dom::object object, const char* key, double& out) {
  double number;
  if (!object[key].get_double().get(number)) out = number;
}

void readOptionalNumber(simdjson::dom::object object, const char* key, std::optional<double>& out) {
  double number;
  if (!object[key].get_double().get(number)) out = number;
}

void readWords(simdjson::dom::object object, std::vector<TimedWord>& out) {
  simdjson::dom::array array;
  if (object["words"].get_array().get(array)) return;
  for (simdjson::dom::element element : array) {
    simdjson::dom::object word;
    if (element.get_object().get(word)) continue;
    TimedWord timed;
    readString(word, "text", timed.text);
    readNumber(word, "start", timed.start);
    readNumber(word, "end", timed.end);
    readOptionalNumber(word, "confidence", timed.confidence);
    out.push_back(std::move(timed));
  }
}

void readFlag(simdjson::dom::object object, const char* key, bool& out) {
  bool flag;
  if (!object[key].get_bool().get(flag)) out = flag;
}

}  // namespace

std::optional<EarshotLine> parseEarshotLine(std::string_view line) {
  // One parser per thread: it keeps its buffers between lines.
  thread_local simdjson::dom::parser parser;
  simdjson::dom::object object;
  if (parser.parse(simdjson::padded_string(line)).get_object().get(object)) return std::nullopt;
  EarshotLine parsed;
  std::string_view type;
  if (object["type"].get_string().get(type)) return std::nullopt;
  parsed.type = type;
  readString(object, "text", parsed.text);
  readFlag(object, "isFinal", parsed.isFinal);
  readString(object, "message", parsed.message);
  readString(object, "locale", parsed.locale);
  readString(object, "phase", parsed.phase);
  readNumber(object, "sampleRate", parsed.sampleRate);
  readNumber(object, "fraction", parsed.fraction);
  readFlag(object, "available", parsed.available);
  readFlag(object, "released", parsed.released);
  readStrings(object, "supported", parsed.supported);
  readStrings(object, "installed", parsed.installed);
  readStrings(object, "reserved", parsed.reserved);
  readOptionalNumber(object, "start", parsed.start);
  readOptionalNumber(object, "end", parsed.end);
  readOptionalNumber(object, "confidence", parsed.confidence);
  readWords(object, parsed.words);
  int64_t limit;
  if (!object["maxReserved"].get_int64().get(limit)) parsed.maxReserved = limit;
  return parsed;
}

}  // namespace earshot::feed
