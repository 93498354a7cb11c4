#pragma once

#include <memory>
#include <thread>

#include "channel/host_output.h"
#include "platform/analyzer_input_queue.h"
#include "platform/audio_format.h"
#include "platform/locale.h"
#include "platform/speech_analyzer.h"
#include "platform/speech_services.h"
#include "session/failure_box.h"
#include "session/init_options.h"

namespace earshot::session {

// One started analyzer session: the analyzer, the producer end of its input
// queue and its results thread.
//
// Threads: the results thread reads the session transcriber's results and
// writes one "transcript" line per result through the shared HostOutput as
// soon as it has read it; it holds the transcriber and a share of the
// FailureBox, parks a failure of the result sequence in the box and ends.
// It blocks only in the result sequence and in the output write. The
// analyzer consumes the queue on a thread of its own (the platform's).
// Everything else here runs on the mode's thread, which owns the session.
class AnalyzerSession {
 public:
  AnalyzerSession(std::shared_ptr<platform::SpeechAnalyzer> analyzer,
                  std::shared_ptr<platform::AnalyzerInputQueue> input);
  // A session that was not ended (the mode is failing) still must not leave
  // a thread behind: the queue is closed, the analyzer dropped (which ends
  // its result sequence) and the results thread joined. Nothing is finalized.
  ~AnalyzerSession();
  AnalyzerSession(const AnalyzerSession&) = delete;
  AnalyzerSession& operator=(const AnalyzerSession&) = delete;

  // The producer end: push never waits.
  platform::AnalyzerInputQueue& input() { return *input_; }

  // Ends the session: closes the input, waits for the analyzer's last
  // results (throws its failure) and then for the results thread, so every
  // transcript of the session has been written when this returns.
  void end();

 private:
  std::shared_ptr<platform::SpeechAnalyzer> analyzer_;
  std::shared_ptr<platform::AnalyzerInputQueue> input_;
  std::thread results_;

  friend std::unique_ptr<AnalyzerSession> startSession(
      platform::SpeechServices&, channel::HostOutput&, const platform::Locale&,
      const platform::AudioFormat&, std::shared_ptr<FailureBox>, const InitOptions&);
};

// Builds and starts a session with a transcriber of its own, whose results
// carry the attributes of `options` and whose analyzer expects its phrases.
// Throws the analyzer's failure to prepare or to start, unchanged; nothing
// is left running then.
std::unique_ptr<AnalyzerSession> startSession(platform::SpeechServices& speech,
                                              channel::HostOutput& output,
                                              const platform::Locale& locale,
                                              const platform::AudioFormat& format,
                                              std::shared_ptr<FailureBox> failures,
                                              const InitOptions& options);

}  // namespace earshot::session
