#pragma once

#include "platform/closable_queue.h"
#include "platform/speech_transcriber.h"

namespace earshot::platform::linuxos {

// A transcription module: its locale and its result sequence. The analyzer
// that has it as a module pushes results from its own thread and closes the
// sequence (with the engine's failure, if any); one reader blocks in next().
// Results are few and small, so pushing never waits.
class LinuxTranscriber final : public SpeechTranscriber, public TranscriptionResults {
 public:
  explicit LinuxTranscriber(Locale locale, AttributeOptions attributes = {})
      : locale_(std::move(locale)), attributes_(attributes) {}
  const Locale& locale() const override { return locale_; }
  // What its results carry besides their text.
  const AttributeOptions& attributes() const { return attributes_; }
  TranscriptionResults& results() override { return *this; }
  std::optional<TranscriptionResult> next() override { return queue_.next(); }
  ClosableQueue<TranscriptionResult>& queue() { return queue_; }

 private:
  Locale locale_;
  AttributeOptions attributes_;
  ClosableQueue<TranscriptionResult> queue_;
};

}  // namespace earshot::platform::linuxos
