#include "platform/linux/engine/engine_settings.h"

namespace earshot::platform::linuxos {

EngineSettings defaultEngineSettings() {
  EngineSettings settings;
  // First pass only: the second passes cost time at every segment end and
  // make finals disagree with the partials (docs/recognition.md).
  settings.options = {{"-fwdflat", "no"}, {"-bestpath", "no"}};
  settings.chunkMilliseconds = 100;
  // The first utterance of a new decoder adapts as it goes; later ones are
  // decoded exactly as the engine would (docs/recognition.md).
  settings.earlyAdaptationMilliseconds = 500;
  settings.earlyAdaptationSpeechSeconds = 3;
  // Speech with no pause is cut into segments of at most this length, at a
  // quiet point of their last seconds (docs/recognition.md).
  settings.maxSegmentSeconds = 30;
  settings.segmentCutWindowMilliseconds = 2000;
  settings.confidencePartSeconds = 8;
  settings.confidencePartWindowMilliseconds = 1000;
  return settings;
}

}  // namespace earshot::platform::linuxos
