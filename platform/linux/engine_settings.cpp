#include "platform/linux/engine_settings.h"

namespace earshot::platform::linuxos {

EngineSettings defaultEngineSettings() {
  EngineSettings settings;
  // First pass only: the second passes cost time at every segment end and
  // make finals disagree with the partials (docs/recognition.md).
  settings.options = {{"-fwdflat", "no"}, {"-bestpath", "no"}};
  settings.chunkMilliseconds = 100;
  settings.earlyAdaptationMilliseconds = 500;
  settings.earlyAdaptationSpeechSeconds = 10;
  return settings;
}

}  // namespace earshot::platform::linuxos
