#pragma once

#include <exception>
#include <memory>
#include <thread>

#include "platform/linux/adaptation/speaker_adaptation.h"
#include "platform/linux/engine/decoder_pool.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/engine/segmenting_recognizer.h"
#include "platform/linux/last_live_locale.h"
#include "platform/linux/linux_transcriber.h"
#include "platform/linux/models/installed_models.h"
#include "platform/linux/text/written_form.h"
#include "platform/speech_analyzer.h"

namespace earshot::platform::linuxos {

// An analyzer with one transcriber, decoding with a pooled decoder of the
// transcriber's locale.
//
// Threads. setContext() only records the context, whose phrases choose the
// decoder and whose adaptation mode and profile its starting state.
// prepareToAnalyze() leases the decoder (loading it the first time in the
// process, which blocks for a while, or taking the one the pool preloaded;
// then setting the speaker adaptation of the session's mode, profile and
// band, and keeping its locale as the last live session's; audio that came
// at a rate below 16 kHz switches it to the narrowband state on the
// consumer). start() starts the consumer, a std::jthread that alone takes
// buffers from the input queue and drives the decoder, pushing results into
// the transcriber's queue (which never blocks it), until the queue ends, the
// engine fails (the result sequence then fails with the PlatformError) or a
// stop is requested.
// finalizeAndFinishThroughEndOfInput() blocks until the consumer has taken
// the whole queue, then on the calling thread closes the last segment, ends
// the result sequence, keeps the decoder's adaptation when its mode is
// persistent and it has heard enough new speech (a small file written and
// flushed to disk) and gives the
// decoder back to the pool. The destructor
// stops the consumer between two chunks of audio without decoding the rest
// of the queue, ends the result sequence and gives the decoder back. The
// decoder is touched by one thread at a time: the consumer while it runs,
// the caller before start() and after joining it.
class PocketSphinxAnalyzer final : public SpeechAnalyzer {
 public:
  PocketSphinxAnalyzer(const ModuleList& modules, InstalledModels models, EngineSettings settings,
                       DecoderPool& pool, std::shared_ptr<SpeakerAdaptation> adaptation,
                       std::shared_ptr<LastLiveLocale> lastLocale = nullptr);
  ~PocketSphinxAnalyzer() override;

  void setContext(const AnalysisContext& context) override;
  void prepareToAnalyze(const AudioFormat& format) override;
  void start(std::shared_ptr<AnalyzerInputQueue> input) override;
  void finalizeAndFinishThroughEndOfInput() override;

 private:
  void consume(std::stop_token stop);
  void endResults();

  ModuleList modules_;
  std::shared_ptr<LinuxTranscriber> transcriber_;
  InstalledModels models_;
  EngineSettings settings_;
  DecoderPool& pool_;
  AnalysisContext context_;
  std::shared_ptr<SpeakerAdaptation> adaptation_;
  std::shared_ptr<LastLiveLocale> lastLocale_;

  AudioFormat format_;
  DecoderPool::Lease decoder_;
  // Rewrites each result before it is pushed, unless the transcriber asked
  // for the spoken form; used by whichever thread drives the recognizer.
  std::unique_ptr<WrittenForm> writtenForm_;
  std::unique_ptr<SegmentingRecognizer> recognizer_;
  std::shared_ptr<AnalyzerInputQueue> input_;
  // Written by the consumer, read after joining it.
  std::exception_ptr failure_;
  bool finalized_ = false;
  std::jthread consumer_;
};

}  // namespace earshot::platform::linuxos
