#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace earshot::feed {

// Standard alphabet, padded with "=": the form earshot's "pcm" member takes.
void appendBase64(std::string& out, std::span<const uint8_t> bytes);

// Samples as signed 16-bit little-endian bytes, then Base64.
void appendPcmBase64(std::string& out, std::span<const int16_t> samples);

}  // namespace earshot::feed
