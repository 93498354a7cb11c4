#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/closable_queue.h"
#include "platform/scripted/call_log.h"
#include "platform/speech_analyzer.h"
#include "platform/speech_transcriber.h"

namespace earshot::platform::scripted {

// What one analyzer session does.
struct SessionScript {
  std::optional<std::string> prepareFailure;
  std::optional<std::string> startFailure;
  std::optional<std::string> finalizeFailure;
  // One result after each analyzed buffer, in order, while any are left.
  std::vector<TranscriptionResult> resultsWhileAnalyzing;
  // Results delivered when the session is finalized, in order.
  std::vector<TranscriptionResult> results;
  // When set, the result sequence fails with this text: as soon as
  // `failAfterResults` results have been delivered (0: right after start),
  // else when finalized, after `results`.
  std::optional<std::string> resultFailure;
  std::optional<size_t> failAfterResults;
};

// A transcriber whose result sequence the scripted analyzer feeds; a
// scripted failure is thrown once, as a PlatformError, like the real one.
class ScriptedTranscriber final : public SpeechTranscriber, public TranscriptionResults {
 public:
  explicit ScriptedTranscriber(Locale locale) : locale_(std::move(locale)) {}
  const Locale& locale() const override { return locale_; }
  TranscriptionResults& results() override { return *this; }
  std::optional<TranscriptionResult> next() override { return queue_.next(); }

  void deliver(TranscriptionResult result) { queue_.push(std::move(result)); }
  // Ends the sequence, with a failure or without; the first ending counts.
  void end(std::optional<std::string> failure);

 private:
  Locale locale_;
  ClosableQueue<TranscriptionResult> queue_;
};

// Hands out one script per analyzer, in order; sessions past the end of the
// list get an empty script.
//
// A scripted analyzer consumes its queue on a thread of its own and records
// "setContext(<phrases joined by |>)" (with "; adaptation=<mode> profile=<name>" after
// them when either is not the default), "prepareToAnalyze(<rate>)", "start", "finalize" and one
// "analyze(<frames>)" per buffer; buffers of up to 8 frames show their samples too
// ("analyze(2:1,-32767)"), and a buffer not in the prepared format shows its
// rate ("analyze(160@8000)"). Destroying it stops the consumer at once,
// without waiting for the queue to be closed or drained, and ends its
// transcriber's results.
class SessionScripts {
 public:
  std::vector<SessionScript> scripts;
  std::shared_ptr<SpeechAnalyzer> makeAnalyzer(const ModuleList& modules,
                                               std::shared_ptr<CallLog> log);

 private:
  size_t next_ = 0;
};

}  // namespace earshot::platform::scripted
