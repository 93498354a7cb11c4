#include "session/analyzer_session.h"

#include <exception>
#include <utility>

#include "channel/outgoing_message.h"
#include "session/transcript_message.h"

namespace earshot::session {
namespace {

void streamResults(const std::shared_ptr<platform::SpeechTranscriber>& transcriber,
                   const platform::AttributeOptions& attributes, channel::HostOutput& output,
                   FailureBox& failures) {
  try {
    platform::TranscriptionResults& results = transcriber->results();
    while (std::optional<platform::TranscriptionResult> result = results.next()) {
      output.emit(transcriptMessage(*result, attributes));
    }
  } catch (const std::exception& error) {
    failures.set(error.what());
  } catch (...) {
    failures.set("Unknown failure");
  }
}

}  // namespace

AnalyzerSession::AnalyzerSession(std::shared_ptr<platform::SpeechAnalyzer> analyzer,
                                 std::shared_ptr<platform::AnalyzerInputQueue> input)
    : analyzer_(std::move(analyzer)), input_(std::move(input)) {}

AnalyzerSession::~AnalyzerSession() {
  input_->close();
  analyzer_.reset();  // stops the analyzer and ends its result sequence
  if (results_.joinable()) results_.join();
}

void AnalyzerSession::end() {
  input_->close();
  analyzer_->finalizeAndFinishThroughEndOfInput();
  results_.join();
}

std::unique_ptr<AnalyzerSession> startSession(platform::SpeechServices& speech,
                                              channel::HostOutput& output,
                                              const platform::Locale& locale,
                                              const platform::AudioFormat& format,
                                              std::shared_ptr<FailureBox> failures,
                                              const InitOptions& options) {
  std::shared_ptr<platform::SpeechTranscriber> transcriber = speech.makeTranscriber(
      locale, platform::TranscriberPreset::progressiveTranscription, options.attributes);
  // From here on a failure unwinds through the session's destructor, which
  // drops the analyzer before joining whatever results thread was started.
  auto session = std::make_unique<AnalyzerSession>(
      speech.makeAnalyzer({transcriber}), std::make_shared<platform::AnalyzerInputQueue>());

  // A host that asked for nothing of it sees an analyzer without a context.
  platform::AnalysisContext context{options.contextualStrings, options.speakerAdaptation,
                                    options.speakerProfile};
  if (context != platform::AnalysisContext{}) session->analyzer_->setContext(context);
  session->analyzer_->prepareToAnalyze(format);

  session->results_ =
      std::thread([transcriber = std::move(transcriber), &output, failures = std::move(failures),
                   attributes = options.attributes] {
        streamResults(transcriber, attributes, output, *failures);
      });

  session->analyzer_->start(session->input_);
  return session;
}

}  // namespace earshot::session
