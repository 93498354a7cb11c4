#include "session/transcript_message.h"

#include <cmath>
#include <vector>

namespace earshot::session {
namespace {

double thousandths(double value) {
  return std::round(value * 1000.0) / 1000.0;
}

}  // namespace

channel::OutgoingMessage transcriptMessage(const platform::TranscriptionResult& result,
                                           const platform::AttributeOptions& attributes) {
  channel::OutgoingMessage message("transcript");
  message.add("text", result.text).add("isFinal", result.isFinal);
  const bool times = attributes.audioTimeRange;
  const bool confidence = attributes.transcriptionConfidence && result.isFinal;
  if (!times && !confidence) return message;

  if (times) {
    platform::AudioTimeRange range = result.range.value_or(platform::AudioTimeRange{});
    message.add("start", thousandths(range.start)).add("end", thousandths(range.end));
  }
  if (confidence) {
    double sum = 0.0;
    for (const auto& word : result.words) sum += word.confidence.value_or(0.0);
    double mean = result.words.empty() ? 0.0 : sum / double(result.words.size());
    message.add("confidence", thousandths(mean));
  }
  std::vector<channel::OutgoingMessage> words;
  for (const auto& word : result.words) {
    channel::OutgoingMessage& item = words.emplace_back(channel::OutgoingMessage::object());
    item.add("text", word.text);
    if (times) {
      platform::AudioTimeRange range = word.audioTimeRange.value_or(platform::AudioTimeRange{});
      item.add("start", thousandths(range.start)).add("end", thousandths(range.end));
    }
    if (confidence) item.add("confidence", thousandths(word.confidence.value_or(0.0)));
  }
  message.add("words", words);
  return message;
}

}  // namespace earshot::session
