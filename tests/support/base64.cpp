#include "tests/support/base64.h"

namespace earshot::testkit {

std::string base64Bytes(std::string_view bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) |
                 uint8_t(bytes[i + 2]);
    for (int shift : {18, 12, 6, 0}) text += kAlphabet[(v >> shift) & 63];
  }
  if (size_t rest = bytes.size() - i; rest > 0) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (rest == 2) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    text += '=';
  }
  return text;
}

std::string base64(const std::vector<int16_t>& samples) {
  std::string bytes;
  bytes.reserve(samples.size() * 2);
  for (int16_t sample : samples) {
    auto value = static_cast<uint16_t>(sample);
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>(value >> 8);
  }
  return base64Bytes(bytes);
}

}  // namespace earshot::testkit
