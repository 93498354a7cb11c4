#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/locale.h"

namespace earshot::platform {

enum class TranscriberPreset { progressiveTranscription };

// How a transcriber writes its text: as people write it (capitals,
// punctuation, digits) or as the recognizer's bare words.
enum class TextForm { written, spoken };

// Which attributes a transcriber's results carry besides their text.
struct AttributeOptions {
  // When in the audio each result and each of its words was heard.
  bool audioTimeRange = false;
  // How likely each word of a final result is to be right.
  bool transcriptionConfidence = false;
  // How the text, and the words, are written.
  TextForm textForm = TextForm::written;

  bool operator==(const AttributeOptions&) const = default;
};

// A stretch of the analyzer's audio in seconds, from the start of the
// analysis (the analyzer's first input).
struct AudioTimeRange {
  double start = 0.0;
  double end = 0.0;

  bool operator==(const AudioTimeRange&) const = default;
};

// One word of a result with the attributes its transcriber was asked for.
struct TranscribedWord {
  std::string text;
  std::optional<AudioTimeRange> audioTimeRange;
  std::optional<double> confidence;  // 0 to 1

  bool operator==(const TranscribedWord&) const = default;
};

struct TranscriptionResult {
  TranscriptionResult() = default;
  TranscriptionResult(std::string text, bool isFinal,
                      std::optional<AudioTimeRange> range = std::nullopt,
                      std::vector<TranscribedWord> words = {})
      : text(std::move(text)), isFinal(isFinal), range(range), words(std::move(words)) {}

  std::string text;  // plain UTF-8 text, no attributes
  bool isFinal = false;
  // With AttributeOptions::audioTimeRange, the audio the result covers.
  std::optional<AudioTimeRange> range;
  // The words of `text`, in order, when any attribute was asked for.
  std::vector<TranscribedWord> words;
};

// The blocking result sequence of one transcriber: next() waits for the next
// result and returns nullopt once the sequence has ended. A failure of the
// sequence is thrown (a PlatformError or another std::exception) and ends it.
class TranscriptionResults {
 public:
  virtual ~TranscriptionResults() = default;
  virtual std::optional<TranscriptionResult> next() = 0;
};

// A transcription module for one locale. It describes which assets a request
// needs and, once an analyzer has it as a module, delivers its results.
// Implementations: LinuxTranscriber (platform/linux), ScriptedTranscriber
// (platform/scripted); each is its own result sequence.
class SpeechTranscriber {
 public:
  virtual ~SpeechTranscriber() = default;
  virtual const Locale& locale() const = 0;
  // The result sequence; lives as long as the transcriber. Read by one thread.
  virtual TranscriptionResults& results() = 0;
};

using ModuleList = std::vector<std::shared_ptr<SpeechTranscriber>>;

}  // namespace earshot::platform
