#include "platform/linux/engine/quietest_point.h"

#include <algorithm>
#include <limits>

namespace earshot::platform::linuxos {

size_t quietestPoint(std::span<const int16_t> samples, size_t blockSamples) {
  blockSamples = std::max<size_t>(1, blockSamples);
  if (samples.size() <= blockSamples) return samples.size() / 2;
  size_t best = 0;
  uint64_t bestEnergy = std::numeric_limits<uint64_t>::max();
  for (size_t at = 0; at + blockSamples <= samples.size(); at += blockSamples) {
    uint64_t energy = 0;
    for (int16_t sample : samples.subspan(at, blockSamples)) {
      energy += uint64_t(int64_t(sample) * int64_t(sample));
    }
    if (energy < bestEnergy) {
      bestEnergy = energy;
      best = at;
    }
  }
  return best + blockSamples / 2;
}

}  // namespace earshot::platform::linuxos
