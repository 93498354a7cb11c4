#include "protocol/base64.h"

#include <gtest/gtest.h>

#include <random>

namespace earshot::protocol {
namespace {

// Decodes with both halves of the decoder; nullopt when either refuses.
std::optional<std::string> decode(const std::string& text) {
  std::optional<size_t> size = base64DecodedSize(text);
  if (!size) return std::nullopt;
  // Exactly the room asked for, so that a write past it shows under ASan.
  auto out = std::make_unique<unsigned char[]>(*size);
  if (!decodeBase64(text, out.get())) return std::nullopt;
  return std::string(reinterpret_cast<const char*>(out.get()), *size);
}

TEST(Base64, AcceptsOnlyPaddedStandardBase64) {
  struct Case {
    std::string text;
    std::optional<std::string> bytes;
  };
  using namespace std::string_literals;
  for (const Case& c : std::vector<Case>{
           {"", ""s},
           {"AA==", "\0"s},
           {"AAA=", "\0\0"s},
           {"AAAA", "\0\0\0"s},
           {"AYA=", "\x01\x80"s},
           {"AQIDBA==", "\x01\x02\x03\x04"s},
           {"+/+/", "\xfb\xff\xbf"s},
           {"////", "\xff\xff\xff"s},
           {"AB==", "\0"s},  // leftover bits are ignored
           {"TWFu", "Man"s},
           {"A", {}},
           {"AA", {}},
           {"AAA", {}},
           {"AAAAA", {}},
           {"=", {}},
           {"====", {}},
           {"A===", {}},
           {"AA=A", {}},
           {"=AAA", {}},
           {"AA==AAAA", {}},
           {"AAA=AAAA", {}},
           {"AAAA=AAA", {}},
           {"AAAAAA", {}},
           {"AA AA==", {}},
           {"AAA AAA=", {}},
           {" AAAAAA=", {}},
           {"AAAAAA=\n", {}},
           {"AAAA\nAAA", {}},
           {"AAAA\r\nAA", {}},
           {"AA\tA", {}},
           {"-_-_", {}},
           {"AA.A", {}},
           {"AAA\x80", {}},
           {"\xC3\xA9\xC3\xA9", {}},
           {std::string("AA\0A", 4), {}},
       }) {
    SCOPED_TRACE(testing::PrintToString(c.text));
    EXPECT_EQ(decode(c.text), c.bytes);
  }
}

std::string encodeBytes(const std::string& bytes) {
  std::string text;
  appendBase64(text, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  return text;
}

TEST(Base64, DecodesWhatAnEncoderWritesAtEveryLengthAndRejectsAnyBadCharacter) {
  std::mt19937 random(11);
  for (size_t length = 0; length <= 96; ++length) {
    std::string bytes(length, '\0');
    for (char& byte : bytes) byte = static_cast<char>(random());
    std::string text = encodeBytes(bytes);
    ASSERT_EQ(decode(text), bytes) << length;
    // Every position, whatever the padding around it, refuses a character
    // outside the alphabet.
    for (size_t at = 0; at < text.size(); ++at) {
      for (char bad : {'\n', ' ', '-', '_', '.', '\0', '\x7f', '\xff'}) {
        std::string broken = text;
        broken[at] = bad;
        ASSERT_EQ(decode(broken), std::nullopt) << length << " at " << at;
      }
    }
  }
}

TEST(Base64, EveryByteValueRoundTrips) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (int shift = 0; shift < 3; ++shift) {
    std::string bytes = all.substr(shift) + all.substr(0, shift);
    EXPECT_EQ(decode(encodeBytes(bytes)), bytes);
  }
}

TEST(Base64, EncodesTheStandardVectors) {
  using namespace std::literals;
  const std::pair<std::string_view, std::string_view> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"\xff\xfe\xfd\x00\x3f"sv, "//79AD8="},
  };
  for (const auto& [plain, encoded] : vectors)
    EXPECT_EQ(encodeBytes(std::string(plain)), encoded) << plain;
}

// PCM is little-endian whatever the length; each tail length takes its own path.
TEST(Base64, PcmIsLittleEndianForEveryTailLength) {
  const std::vector<int16_t> samples{1, -1, 0x1234, -32768, 32767, 0x00ff, -256};
  for (size_t n = 0; n <= samples.size(); ++n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) {
      bytes += char(uint16_t(samples[i]) & 0xff);
      bytes += char(uint16_t(samples[i]) >> 8);
    }
    std::string encoded;
    appendPcmBase64(encoded, std::span(samples.data(), n));
    EXPECT_EQ(encoded, encodeBytes(bytes)) << n;
  }
}

}  // namespace
}  // namespace earshot::protocol
