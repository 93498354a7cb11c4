#include "platform/linux/linux_platform.h"

#include "platform/linux/adaptation/cepstral_mean_files.h"
#include "platform/linux/adaptation/speaker_adaptation.h"
#include "platform/linux/audio/soxr_converter.h"
#include "platform/linux/engine/decoder_pool.h"
#include "platform/linux/engine/trial_load.h"
#include "platform/linux/linux_speech_services.h"
#include "platform/linux/store/model_store.h"
#include "platform/linux/store/store_asset_inventory.h"
#include "platform/linux/system_sleeper.h"

namespace earshot::platform::linuxos {

Platform makeLinuxPlatform(InstalledModels models, EngineSettings settings) {
  auto memory = std::make_shared<CepstralMeanFiles>(models.store().stateDir() / "adaptation");
  return makeLinuxPlatform(std::move(models), std::move(settings), std::move(memory));
}

Platform makeLinuxPlatform(InstalledModels models, EngineSettings settings,
                           std::shared_ptr<CepstralMeanMemory> memory) {
  auto isSystemModel = [models](const Locale& locale) {
    auto model = models.find(locale);
    return model && model->system;
  };
  // A downloaded model is loaded once, in a child process, before it is
  // published: a broken one fails --install instead of every later session.
  auto checkLoadable = [settings](const Locale& locale, const store::ModelFiles& files) {
    SpeechModel model{locale, files.acousticModel, files.languageModel, files.dictionary};
    trialLoad(model, settings);
  };
  auto forgetAdaptation = [memory](const Locale& locale) {
    if (memory) memory->forget(locale);
  };
  auto assets = std::make_shared<store::StoreAssetInventory>(models.store(), isSystemModel,
                                                             checkLoadable, forgetAdaptation);
  return Platform{
      std::make_shared<LinuxSpeechServices>(models, std::move(settings), DecoderPool::shared(),
                                            std::make_shared<SpeakerAdaptation>(std::move(memory))),
      std::move(assets), std::make_shared<SoxrConverterFactory>(),
      std::make_shared<SystemSleeper>()};
}

}  // namespace earshot::platform::linuxos
