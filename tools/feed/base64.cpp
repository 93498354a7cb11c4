#include "tools/feed/base64.h"

#include <array>

namespace earshot::feed {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void appendGroup(std::string& out, const uint8_t* bytes, size_t count) {
  uint32_t group = uint32_t(bytes[0]) << 16;
  if (count > 1) group |= uint32_t(bytes[1]) << 8;
  if (count > 2) group |= bytes[2];
  out += kAlphabet[(group >> 18) & 63];
  out += kAlphabet[(group >> 12) & 63];
  out += count > 1 ? kAlphabet[(group >> 6) & 63] : '=';
  out += count > 2 ? kAlphabet[group & 63] : '=';
}

}  // namespace

void appendBase64(std::string& out, std::span<const uint8_t> bytes) {
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  size_t whole = bytes.size() / 3 * 3;
  for (size_t i = 0; i < whole; i += 3) appendGroup(out, bytes.data() + i, 3);
  if (whole < bytes.size()) appendGroup(out, bytes.data() + whole, bytes.size() - whole);
}

void appendPcmBase64(std::string& out, std::span<const int16_t> samples) {
  out.reserve(out.size() + (samples.size() * 2 + 2) / 3 * 4);
  // Three samples are six bytes, two whole groups; the odd tail goes through
  // a small buffer so the byte order never depends on the machine's.
  std::array<uint8_t, 6> bytes;
  size_t i = 0;
  for (; i + 3 <= samples.size(); i += 3) {
    for (size_t k = 0; k < 3; ++k) {
      auto value = uint16_t(samples[i + k]);
      bytes[2 * k] = uint8_t(value & 0xff);
      bytes[2 * k + 1] = uint8_t(value >> 8);
    }
    appendGroup(out, bytes.data(), 3);
    appendGroup(out, bytes.data() + 3, 3);
  }
  size_t tail = 0;
  for (; i < samples.size(); ++i) {
    auto value = uint16_t(samples[i]);
    bytes[tail++] = uint8_t(value & 0xff);
    bytes[tail++] = uint8_t(value >> 8);
  }
  if (tail > 0) appendBase64(out, std::span<const uint8_t>(bytes.data(), tail));
}

}  // namespace earshot::feed
