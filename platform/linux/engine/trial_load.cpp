#include "platform/linux/engine/trial_load.h"

#include "platform/linux/engine/decoder.h"
#include "platform/linux/engine/isolated_run.h"

namespace earshot::platform::linuxos {

void trialLoad(const SpeechModel& model, const EngineSettings& settings) {
  runIsolated([&] { Decoder decoder(model, settings); });
}

}  // namespace earshot::platform::linuxos
