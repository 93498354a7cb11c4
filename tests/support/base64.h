#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace earshot::testkit {

// Standard padded Base64, as a host writes it: the one encoder of the tests
// and benchmarks (the program itself only decodes).
std::string base64Bytes(std::string_view bytes);
// Of little-endian 16-bit samples, as the host sends audio.
std::string base64(const std::vector<int16_t>& samples);

}  // namespace earshot::testkit
