#include "protocol/host_lines.h"

#include <charconv>

#include "protocol/base64.h"
#include "protocol/json_text.h"
#include "protocol/names.h"

namespace earshot::protocol {
namespace {

// `{"type":"<type>"` without its closing brace.
std::string opening(std::string_view messageType) {
  std::string line = "{";
  appendJsonString(line, member::kType);
  line += ':';
  appendJsonString(line, messageType);
  return line;
}

void appendKey(std::string& line, std::string_view name) {
  line += ',';
  appendJsonString(line, name);
  line += ':';
}

}  // namespace

std::string initLine(std::string_view locale, const InitExtras& extras) {
  std::string line = opening(type::kInit);
  appendKey(line, member::kLocale);
  appendJsonString(line, locale);
  if (extras.wordTimes || extras.confidence) {
    appendKey(line, member::kAttributeOptions);
    line += '[';
    if (extras.wordTimes) appendJsonString(line, value::kAudioTimeRange);
    if (extras.wordTimes && extras.confidence) line += ',';
    if (extras.confidence) appendJsonString(line, value::kTranscriptionConfidence);
    line += ']';
  }
  if (!extras.phrases.empty()) {
    appendKey(line, member::kContextualStrings);
    line += '[';
    for (size_t i = 0; i < extras.phrases.size(); ++i) {
      if (i > 0) line += ',';
      appendJsonString(line, extras.phrases[i]);
    }
    line += ']';
  }
  if (extras.acknowledgeFlush) {
    appendKey(line, member::kAcknowledgeFlush);
    line += "true";
  }
  if (!extras.speakerAdaptation.empty()) {
    appendKey(line, member::kSpeakerAdaptation);
    appendJsonString(line, extras.speakerAdaptation);
  }
  if (!extras.speakerProfile.empty()) {
    appendKey(line, member::kSpeakerProfile);
    appendJsonString(line, extras.speakerProfile);
  }
  if (extras.spoken) line += ",\"textForm\":\"spoken\"";
  return line + "}\n";
}

std::string audioLine(std::span<const int16_t> samples, double sampleRate) {
  char rate[32];
  auto written = std::to_chars(rate, rate + sizeof rate, sampleRate);
  std::string line = opening(type::kAudio);
  appendKey(line, member::kSampleRate);
  line.append(rate, written.ptr);
  appendKey(line, member::kPcm);
  line += '"';
  appendPcmBase64(line, samples);
  line += "\"}\n";
  return line;
}

std::string flushLine() {
  return opening(type::kFlush) + "}\n";
}

std::string stopLine() {
  return opening(type::kStop) + "}\n";
}

}  // namespace earshot::protocol
