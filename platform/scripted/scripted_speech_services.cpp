#include "platform/scripted/scripted_speech_services.h"

namespace earshot::platform::scripted {

bool ScriptedSpeechServices::isAvailable() {
  log_->record("isAvailable");
  return available;
}

std::optional<Locale> ScriptedSpeechServices::supportedLocale(const Locale& equivalentTo) {
  log_->record("supportedLocale(" + equivalentTo.identifier() + ")");
  if (auto found = resolutions.find(equivalentTo.identifier()); found != resolutions.end()) {
    return found->second;
  }
  for (const Locale& locale : supported) {
    if (locale == equivalentTo) return locale;
  }
  return std::nullopt;
}

std::vector<Locale> ScriptedSpeechServices::supportedLocales() {
  log_->record("supportedLocales");
  return supported;
}

std::vector<Locale> ScriptedSpeechServices::installedLocales() {
  log_->record("installedLocales");
  return installed;
}

std::shared_ptr<SpeechTranscriber> ScriptedSpeechServices::makeTranscriber(
    const Locale& locale, TranscriberPreset, const AttributeOptions& attributes) {
  std::string call = "makeTranscriber(" + locale.bcp47();
  if (attributes.audioTimeRange) call += ", audioTimeRange";
  if (attributes.transcriptionConfidence) call += ", transcriptionConfidence";
  if (attributes.textForm == TextForm::spoken) call += ", spoken";
  log_->record(call + ")");
  // Results carry whatever the session scripts give them.
  return std::make_shared<ScriptedTranscriber>(locale);
}

std::optional<AudioFormat> ScriptedSpeechServices::bestAvailableAudioFormat(
    const ModuleList& modules) {
  log_->record("bestAvailableAudioFormat(" + std::to_string(modules.size()) + ")");
  return format;
}

std::shared_ptr<SpeechAnalyzer> ScriptedSpeechServices::makeAnalyzer(const ModuleList& modules) {
  log_->record("makeAnalyzer(" + std::to_string(modules.size()) + ")");
  return sessions.makeAnalyzer(modules, log_);
}

}  // namespace earshot::platform::scripted
