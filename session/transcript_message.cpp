#include "session/transcript_message.h"

#include <cmath>
#include <vector>

#include "protocol/names.h"

namespace earshot::session {
namespace {

double thousandths(double value) {
  return std::round(value * 1000.0) / 1000.0;
}

}  // namespace

channel::OutgoingMessage transcriptMessage(const platform::TranscriptionResult& result,
                                           const platform::AttributeOptions& attributes) {
  channel::OutgoingMessage message("transcript");
  message.add(protocol::member::kText, result.text).add(protocol::member::kIsFinal, result.isFinal);
  const bool times = attributes.audioTimeRange;
  const bool confidence = attributes.transcriptionConfidence && result.isFinal;
  if (!times && !confidence) return message;

  if (times) {
    platform::AudioTimeRange range = result.range.value_or(platform::AudioTimeRange{});
    message.add(protocol::member::kStart, thousandths(range.start))
        .add(protocol::member::kEnd, thousandths(range.end));
  }
  if (confidence) {
    double sum = 0.0;
    for (const auto& word : result.words) sum += word.confidence.value_or(0.0);
    double mean = result.words.empty() ? 0.0 : sum / double(result.words.size());
    message.add(protocol::member::kConfidence, thousandths(mean));
  }
  std::vector<channel::OutgoingMessage> words;
  for (const auto& word : result.words) {
    channel::OutgoingMessage& item = words.emplace_back(channel::OutgoingMessage::object());
    item.add(protocol::member::kText, word.text);
    if (times) {
      platform::AudioTimeRange range = word.audioTimeRange.value_or(platform::AudioTimeRange{});
      item.add(protocol::member::kStart, thousandths(range.start))
          .add(protocol::member::kEnd, thousandths(range.end));
    }
    if (confidence)
      item.add(protocol::member::kConfidence, thousandths(word.confidence.value_or(0.0)));
  }
  message.add(protocol::member::kWords, words);
  return message;
}

}  // namespace earshot::session
