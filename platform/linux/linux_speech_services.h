#pragma once

#include "platform/linux/adaptation/speaker_adaptation.h"
#include "platform/linux/engine/decoder_pool.h"
#include "platform/linux/engine/engine_settings.h"
#include "platform/linux/last_live_locale.h"
#include "platform/linux/models/installed_models.h"
#include "platform/speech_services.h"

namespace earshot::platform::linuxos {

// Speech services over the installed models. Every query reads the
// folders afresh; only loaded decoders are kept (in the pool). Without
// `adaptation`, nothing is carried between processes. anticipateLiveSession()
// has the pool preload the decoder of the locale `lastLocale` keeps (the
// user's current locale when it keeps none, or without it), resolved among
// the installed models; every analyzer that gets its decoder keeps its locale
// there.
class LinuxSpeechServices final : public SpeechServices {
 public:
  LinuxSpeechServices(InstalledModels models, EngineSettings settings, DecoderPool& pool,
                      std::shared_ptr<SpeakerAdaptation> adaptation = nullptr,
                      std::shared_ptr<LastLiveLocale> lastLocale = nullptr)
      : models_(std::move(models)),
        settings_(std::move(settings)),
        pool_(pool),
        adaptation_(std::move(adaptation)),
        lastLocale_(std::move(lastLocale)) {}

  bool isAvailable() override;
  void anticipateLiveSession() override;
  std::optional<Locale> supportedLocale(const Locale& equivalentTo) override;
  std::vector<Locale> supportedLocales() override;
  std::vector<Locale> installedLocales() override;
  using SpeechServices::makeTranscriber;
  std::shared_ptr<SpeechTranscriber> makeTranscriber(const Locale& locale, TranscriberPreset preset,
                                                     const AttributeOptions& attributes) override;
  std::optional<AudioFormat> bestAvailableAudioFormat(const ModuleList& modules) override;
  std::shared_ptr<SpeechAnalyzer> makeAnalyzer(const ModuleList& modules) override;

 private:
  InstalledModels models_;
  EngineSettings settings_;
  DecoderPool& pool_;
  std::shared_ptr<SpeakerAdaptation> adaptation_;
  std::shared_ptr<LastLiveLocale> lastLocale_;
};

}  // namespace earshot::platform::linuxos
