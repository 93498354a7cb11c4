#include "session/analyzer_session.h"

#include <exception>
#include <utility>

#include "channel/outgoing_message.h"

namespace earshot::session {
namespace {

void streamResults(const std::shared_ptr<platform::SpeechTranscriber>& transcriber,
                   channel::HostOutput& output, FailureBox& failures) {
  try {
    platform::TranscriptionResults& results = transcriber->results();
    while (std::optional<platform::TranscriptionResult> result = results.next()) {
      output.emit(channel::OutgoingMessage("transcript")
                      .add("text", result->text)
                      .add("isFinal", result->isFinal));
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
                                              std::shared_ptr<FailureBox> failures) {
  std::shared_ptr<platform::SpeechTranscriber> transcriber =
      speech.makeTranscriber(locale, platform::TranscriberPreset::progressiveTranscription);
  // From here on a failure unwinds through the session's destructor, which
  // drops the analyzer before joining whatever results thread was started.
  auto session = std::make_unique<AnalyzerSession>(
      speech.makeAnalyzer({transcriber}), std::make_shared<platform::AnalyzerInputQueue>());

  session->analyzer_->prepareToAnalyze(format);

  session->results_ =
      std::thread([transcriber = std::move(transcriber), &output, failures = std::move(failures)] {
        streamResults(transcriber, output, *failures);
      });

  session->analyzer_->start(session->input_);
  return session;
}

}  // namespace earshot::session
