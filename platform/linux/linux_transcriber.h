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
  explicit LinuxTranscriber(Locale locale) : locale_(std::move(locale)) {}
  const Locale& locale() const override { return locale_; }
  TranscriptionResults& results() override { return *this; }
  std::optional<TranscriptionResult> next() override { return queue_.next(); }
  ClosableQueue<TranscriptionResult>& queue() { return queue_; }

 private:
  Locale locale_;
  ClosableQueue<TranscriptionResult> queue_;
};

}  // namespace earshot::platform::linuxos
