#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/locale.h"

namespace earshot::platform {

enum class TranscriberPreset { progressiveTranscription };

struct TranscriptionResult {
  std::string text;  // plain UTF-8 text, no attributes
  bool isFinal = false;
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
