#pragma once

#include "platform/linux/decoder_pool.h"
#include "platform/linux/engine_settings.h"
#include "platform/linux/model_catalog.h"
#include "platform/speech_services.h"

namespace earshot::platform::linuxos {

// Speech services over the models of a catalog. Every query reads the
// catalog afresh; only loaded decoders are kept (in the pool).
class LinuxSpeechServices final : public SpeechServices {
 public:
  LinuxSpeechServices(ModelCatalog catalog, EngineSettings settings, DecoderPool& pool)
      : catalog_(std::move(catalog)), settings_(std::move(settings)), pool_(pool) {}

  bool isAvailable() override;
  std::optional<Locale> supportedLocale(const Locale& equivalentTo) override;
  std::vector<Locale> supportedLocales() override;
  std::vector<Locale> installedLocales() override;
  std::shared_ptr<SpeechTranscriber> makeTranscriber(const Locale& locale,
                                                     TranscriberPreset preset) override;
  std::optional<AudioFormat> bestAvailableAudioFormat(const ModuleList& modules) override;
  std::shared_ptr<SpeechAnalyzer> makeAnalyzer(const ModuleList& modules) override;

 private:
  ModelCatalog catalog_;
  EngineSettings settings_;
  DecoderPool& pool_;
};

}  // namespace earshot::platform::linuxos
