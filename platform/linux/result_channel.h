#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>

#include "platform/speech_transcriber.h"

namespace earshot::platform::linuxos {

// The blocking result sequence of one transcriber. The analyzer's thread
// delivers and ends it; one reader blocks in next(). Results are few and
// small, so delivering never waits.
class ResultChannel final : public TranscriptionResults {
 public:
  std::optional<TranscriptionResult> next() override;

  // Ignored once the sequence has ended.
  void deliver(TranscriptionResult result);
  // Ends the sequence after the results already delivered; the first end
  // (or failure) counts.
  void end() { close(nullptr); }
  // Ends the sequence with a failure, thrown by next() after the results
  // already delivered.
  void fail(std::exception_ptr failure) { close(std::move(failure)); }

 private:
  void close(std::exception_ptr failure);

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<TranscriptionResult> pending_;
  bool ended_ = false;
  std::exception_ptr failure_;
};

// A transcription module: its locale and its result sequence, which the
// analyzer that has it as a module feeds.
class LinuxTranscriber final : public SpeechTranscriber {
 public:
  explicit LinuxTranscriber(Locale locale) : locale_(std::move(locale)) {}
  const Locale& locale() const override { return locale_; }
  TranscriptionResults& results() override { return channel_; }
  ResultChannel& channel() { return channel_; }

 private:
  Locale locale_;
  ResultChannel channel_;
};

}  // namespace earshot::platform::linuxos
