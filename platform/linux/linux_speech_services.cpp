#include "platform/linux/linux_speech_services.h"

#include <algorithm>

#include "platform/linux/linux_transcriber.h"
#include "platform/linux/models/locale_matching.h"
#include "platform/linux/pocketsphinx_analyzer.h"

namespace earshot::platform::linuxos {

bool LinuxSpeechServices::isAvailable() {
  return models_.usable();
}

void LinuxSpeechServices::anticipateLiveSession() {
  // The choice runs on the pool's preloader too, so reading the first line
  // waits for nothing.
  pool_.preload(
      [models = models_, lastLocale = lastLocale_]() -> std::optional<SpeechModel> {
        std::optional<std::string> kept;
        if (lastLocale) kept = lastLocale->recall();
        Locale wanted = Locale::fromIdentifier(kept.value_or(Locale::currentIdentifier()));
        std::vector<Locale> installed;
        for (const auto& model : models.models()) installed.push_back(model.locale);
        std::optional<Locale> locale = matchSupportedLocale(wanted, installed);
        if (!locale) return std::nullopt;
        return models.find(*locale);
      },
      settings_);
}

std::optional<Locale> LinuxSpeechServices::supportedLocale(const Locale& equivalentTo) {
  return matchSupportedLocale(equivalentTo, supportedLocales());
}

std::vector<Locale> LinuxSpeechServices::supportedLocales() {
  // What is on disk, then what can be downloaded.
  std::vector<Locale> locales = installedLocales();
  for (auto& locale : models_.downloadableLocales()) {
    if (std::find(locales.begin(), locales.end(), locale) == locales.end()) {
      locales.push_back(std::move(locale));
    }
  }
  return locales;
}

std::vector<Locale> LinuxSpeechServices::installedLocales() {
  std::vector<Locale> locales;
  for (const auto& model : models_.models()) locales.push_back(model.locale);
  return locales;
}

std::shared_ptr<SpeechTranscriber> LinuxSpeechServices::makeTranscriber(
    const Locale& locale, TranscriberPreset, const AttributeOptions& attributes) {
  return std::make_shared<LinuxTranscriber>(locale, attributes);
}

std::optional<AudioFormat> LinuxSpeechServices::bestAvailableAudioFormat(
    const ModuleList& modules) {
  if (modules.empty() || !modules.front()) return std::nullopt;
  auto model = models_.find(modules.front()->locale());
  if (!model) return std::nullopt;
  return model->format();
}

std::shared_ptr<SpeechAnalyzer> LinuxSpeechServices::makeAnalyzer(const ModuleList& modules) {
  return std::make_shared<PocketSphinxAnalyzer>(modules, models_, settings_, pool_, adaptation_,
                                                lastLocale_);
}

}  // namespace earshot::platform::linuxos
