#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/scripted/call_log.h"
#include "platform/scripted/scripted_analyzer.h"
#include "platform/speech_services.h"

namespace earshot::platform::scripted {

// The speech recognizer as a test scripts it. Fields are set before the mode
// runs and not changed while it runs.
class ScriptedSpeechServices final : public SpeechServices {
 public:
  explicit ScriptedSpeechServices(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  bool available = true;
  // Lists as the platform reports them: any order, duplicates allowed.
  std::vector<Locale> supported;
  std::vector<Locale> installed;
  // Requested identifier -> answer of supportedLocale. Identifiers not in
  // the table resolve to the first supported locale equal to the request.
  std::map<std::string, std::optional<Locale>> resolutions;
  // What bestAvailableAudioFormat answers.
  std::optional<AudioFormat> format = AudioFormat{CommonFormat::int16, 16000.0, 1, false};
  // What the analyzer sessions do, one script per session in order.
  SessionScripts sessions;

  // How often anticipateLiveSession() was called; kept apart from the call
  // log, because it changes nothing the mode sees.
  int anticipations = 0;

  bool isAvailable() override;
  void anticipateLiveSession() override { ++anticipations; }
  std::optional<Locale> supportedLocale(const Locale& equivalentTo) override;
  std::vector<Locale> supportedLocales() override;
  std::vector<Locale> installedLocales() override;
  using SpeechServices::makeTranscriber;
  std::shared_ptr<SpeechTranscriber> makeTranscriber(const Locale& locale, TranscriberPreset preset,
                                                     const AttributeOptions& attributes) override;
  std::optional<AudioFormat> bestAvailableAudioFormat(const ModuleList& modules) override;
  std::shared_ptr<SpeechAnalyzer> makeAnalyzer(const ModuleList& modules) override;

 private:
  std::shared_ptr<CallLog> log_;
};

}  // namespace earshot::platform::scripted
