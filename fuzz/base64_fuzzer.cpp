// The strict Base64 decoder of audio messages against a plain decoder
// written from the rules: both must accept the same texts and give the same
// bytes. The output buffer is exactly as large as the decoder was promised,
// so a write past it is caught by AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/base64.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

int valueOf(char c) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  size_t at = kAlphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// Groups of four characters; '=' only as the last one or two characters of
// the text; the bits that padding leaves over are ignored.
std::optional<std::string> referenceDecode(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string bytes;
  for (size_t group = 0; group < text.size(); group += 4) {
    bool last = group + 4 == text.size();
    int padding = 0;
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) {
      char c = text[group + i];
      int value;
      if (c == '=' && last && i >= 2 && (i == 3 || text[group + 3] == '=')) {
        ++padding;
        value = 0;
      } else {
        value = valueOf(c);
        if (value < 0) return std::nullopt;
      }
      bits = bits << 6 | static_cast<uint32_t>(value);
    }
    bytes += static_cast<char>(bits >> 16);
    if (padding < 2) bytes += static_cast<char>(bits >> 8 & 0xFF);
    if (padding < 1) bytes += static_cast<char>(bits & 0xFF);
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<std::string> expected = referenceDecode(text);

  std::optional<size_t> decodedSize = earshot::protocol::base64DecodedSize(text);
  if (!decodedSize) {
    check(!expected);
    return 0;
  }
  // A heap block of exactly the promised size (at least one byte to point at).
  auto out = std::make_unique<unsigned char[]>(*decodedSize == 0 ? 1 : *decodedSize);
  bool accepted = earshot::protocol::decodeBase64(text, out.get());
  check(accepted == expected.has_value());
  if (accepted) {
    check(*decodedSize == expected->size());
    check(std::memcmp(out.get(), expected->data(), expected->size()) == 0);
  }
  return 0;
}
