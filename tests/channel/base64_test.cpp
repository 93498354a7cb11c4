#include "channel/base64.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/support/base64.h"

namespace earshot::channel {
namespace {

// Decodes with both halves of the decoder; nullopt when either refuses.
std::optional<std::string> decode(const std::string& text) {
  std::optional<size_t> size = channel::base64DecodedSize(text);
  if (!size) return std::nullopt;
  // Exactly the room asked for, so that a write past it shows under ASan.
  auto out = std::make_unique<unsigned char[]>(*size);
  if (!channel::decodeBase64(text, out.get())) return std::nullopt;
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
  return testkit::base64Bytes(bytes);
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

}  // namespace
}  // namespace earshot::channel
