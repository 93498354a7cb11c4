#include "protocol/program_lines.h"

#include <simdjson.h>

#include "protocol/names.h"

namespace earshot::protocol {
namespace {

void readStrings(simdjson::dom::object object, std::string_view key,
                 std::vector<std::string>& out) {
  simdjson::dom::array array;
  if (object[key].get_array().get(array)) return;
  for (simdjson::dom::element element : array) {
    std::string_view text;
    if (!element.get_string().get(text)) out.emplace_back(text);
  }
}

void readString(simdjson::dom::object object, std::string_view key, std::string& out) {
  std::string_view text;
  if (!object[key].get_string().get(text)) out = text;
}

void readNumber(simdjson::dom::object object, std::string_view key, double& out) {
  double number;
  if (!object[key].get_double().get(number)) out = number;
}

void readOptionalNumber(simdjson::dom::object object, std::string_view key,
                        std::optional<double>& out) {
  double number;
  if (!object[key].get_double().get(number)) out = number;
}

void readWords(simdjson::dom::object object, std::vector<TimedWord>& out) {
  simdjson::dom::array array;
  if (object[member::kWords].get_array().get(array)) return;
  for (simdjson::dom::element element : array) {
    simdjson::dom::object word;
    if (element.get_object().get(word)) continue;
    TimedWord timed;
    readString(word, member::kText, timed.text);
    readNumber(word, member::kStart, timed.start);
    readNumber(word, member::kEnd, timed.end);
    readOptionalNumber(word, member::kConfidence, timed.confidence);
    out.push_back(std::move(timed));
  }
}

void readFlag(simdjson::dom::object object, std::string_view key, bool& out) {
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
  if (object[member::kType].get_string().get(type)) return std::nullopt;
  parsed.type = type;
  readString(object, member::kText, parsed.text);
  readFlag(object, member::kIsFinal, parsed.isFinal);
  readString(object, member::kMessage, parsed.message);
  readString(object, member::kLocale, parsed.locale);
  readString(object, member::kPhase, parsed.phase);
  readNumber(object, member::kSampleRate, parsed.sampleRate);
  readNumber(object, member::kFraction, parsed.fraction);
  readFlag(object, member::kAvailable, parsed.available);
  readFlag(object, member::kReleased, parsed.released);
  readStrings(object, member::kSupported, parsed.supported);
  readStrings(object, member::kInstalled, parsed.installed);
  readStrings(object, member::kReserved, parsed.reserved);
  readOptionalNumber(object, member::kStart, parsed.start);
  readOptionalNumber(object, member::kEnd, parsed.end);
  readOptionalNumber(object, member::kConfidence, parsed.confidence);
  readWords(object, parsed.words);
  int64_t limit;
  if (!object[member::kMaxReserved].get_int64().get(limit)) parsed.maxReserved = limit;
  return parsed;
}

}  // namespace earshot::protocol
