#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace earshot::platform::linuxos {

// Where to cut audio that has no pause: the middle of its quietest block of
// `blockSamples` (the gap between two words, or a stop consonant's closure).
// The first of equally quiet blocks wins; audio shorter than a block is cut
// at its middle.
size_t quietestPoint(std::span<const int16_t> samples, size_t blockSamples);

}  // namespace earshot::platform::linuxos
