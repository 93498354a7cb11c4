#pragma once

#include <cstdint>

namespace earshot::platform {

// Sample layouts; the numbering follows the common PCM format values hosts
// may know from other audio frameworks (signed 16-bit integer is 3).
enum class CommonFormat : int { other = 0, float32 = 1, float64 = 2, int16 = 3, int32 = 4 };

// A PCM format description. Two formats are equal when they describe the
// same layout.
struct AudioFormat {
  CommonFormat commonFormat = CommonFormat::int16;
  double sampleRate = 0.0;
  uint32_t channels = 1;
  bool interleaved = false;

  bool operator==(const AudioFormat&) const = default;
};

}  // namespace earshot::platform
