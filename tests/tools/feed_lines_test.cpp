#include <gtest/gtest.h>
#include <simdjson.h>

#include "tools/feed/base64.h"
#include "tools/feed/protocol_lines.h"

namespace earshot::feed {
namespace {

std::string base64(std::string_view text) {
  std::string out;
  appendBase64(out, std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  return out;
}

TEST(FeedLines, Base64MatchesTheStandardVectors) {
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
  for (const auto& [plain, encoded] : vectors) EXPECT_EQ(base64(plain), encoded) << plain;
}

// PCM is little-endian whatever the length; each tail length takes its own path.
TEST(FeedLines, PcmIsLittleEndianForEveryTailLength) {
  const std::vector<int16_t> samples{1, -1, 0x1234, -32768, 32767, 0x00ff, -256};
  for (size_t n = 0; n <= samples.size(); ++n) {
    std::string bytes;
    for (size_t i = 0; i < n; ++i) {
      bytes += char(uint16_t(samples[i]) & 0xff);
      bytes += char(uint16_t(samples[i]) >> 8);
    }
    std::string encoded;
    appendPcmBase64(encoded, std::span(samples.data(), n));
    EXPECT_EQ(encoded, base64(bytes)) << n;
  }
}

TEST(FeedLines, OutgoingLinesAreExactAndLocalesSurviveEscaping) {
  EXPECT_EQ(initLine("en-US"), "{\"type\":\"init\",\"locale\":\"en-US\"}\n");
  const int16_t two[] = {1, -1};
  EXPECT_EQ(audioLine(two, 16000),
            "{\"type\":\"audio\",\"sampleRate\":16000,\"pcm\":\"AQD//w==\"}\n");
  EXPECT_EQ(audioLine(two, 16000.5),
            "{\"type\":\"audio\",\"sampleRate\":16000.5,\"pcm\":\"AQD//w==\"}\n");
  EXPECT_EQ(flushLine(), "{\"type\":\"flush\"}\n");
  EXPECT_EQ(stopLine(), "{\"type\":\"stop\"}\n");

  const std::string awkward = "a\"b\\c\nd\te\x01/\xc3\xa9";
  std::string line = initLine(awkward);
  ASSERT_EQ(line.find('\n'), line.size() - 1);
  simdjson::dom::parser parser;
  std::string_view locale;
  ASSERT_FALSE(parser.parse(line)["locale"].get_string().get(locale));
  EXPECT_EQ(locale, awkward);
}

// Init asks only for what the output needs; without extras it is the
// plain line every earshot understands.
TEST(FeedLines, InitCarriesOptionsOnlyWhenAsked) {
  const std::pair<InitExtras, std::string> cases[] = {
      {{}, R"({"type":"init","locale":"en-US"})"},
      {{true, false, {}},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange"]})"},
      {{true, true, {}},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange","transcriptionConfidence"]})"},
      {{false, false, {"Ksenia Wojcik", "say \"hi\""}},
       R"({"type":"init","locale":"en-US","contextualStrings":["Ksenia Wojcik","say \"hi\""]})"},
      {{false, false, {}, true}, R"({"type":"init","locale":"en-US","acknowledgeFlush":true})"},
      {{true, true, {"earshot"}, true},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange","transcriptionConfidence"],"contextualStrings":["earshot"],"acknowledgeFlush":true})"},
      {{false, false, {}, false, true}, R"({"type":"init","locale":"en-US","textForm":"spoken"})"},
  };
  for (const auto& [extras, line] : cases) EXPECT_EQ(initLine("en-US", extras), line + "\n");
}

TEST(FeedLines, ReadsEarshotLines) {
  auto locales = parseEarshotLine(
      R"({"type":"locales","available":true,"supported":["en-US","de-DE"],"installed":["en-US"],"reserved":[],"maxReserved":3})");
  ASSERT_TRUE(locales);
  EXPECT_EQ(locales->type, "locales");
  EXPECT_TRUE(locales->available);
  EXPECT_EQ(locales->supported, (std::vector<std::string>{"en-US", "de-DE"}));
  EXPECT_EQ(locales->installed, (std::vector<std::string>{"en-US"}));
  EXPECT_TRUE(locales->reserved.empty());
  EXPECT_EQ(locales->maxReserved, 3);

  auto transcript =
      parseEarshotLine(R"({"isFinal":true,"text":"go \/ forward","type":"transcript"})");
  ASSERT_TRUE(transcript);
  EXPECT_EQ(transcript->text, "go / forward");
  EXPECT_TRUE(transcript->isFinal);

  auto timed = parseEarshotLine(
      R"({"type":"transcript","text":"go on","isFinal":true,"start":0.5,"end":1.25,"confidence":0.75,"words":[{"text":"go","start":0.5,"end":0.8,"confidence":0.9},{"text":"on","start":0.8,"end":1.25}]})");
  ASSERT_TRUE(timed);
  EXPECT_EQ(timed->start, 0.5);
  EXPECT_EQ(timed->end, 1.25);
  EXPECT_EQ(timed->confidence, 0.75);
  ASSERT_EQ(timed->words.size(), 2u);
  EXPECT_EQ(timed->words[0].text, "go");
  EXPECT_EQ(timed->words[0].confidence, 0.9);
  EXPECT_EQ(timed->words[1].end, 1.25);
  EXPECT_FALSE(timed->words[1].confidence);
  EXPECT_FALSE(transcript->start);

  auto progress = parseEarshotLine(R"({"type":"install-progress","locale":"en-US","fraction":1})");
  ASSERT_TRUE(progress);
  EXPECT_EQ(progress->fraction, 1.0);

  for (const char* junk : {"", "[]", "{}", "{\"type\":7}", "{\"type\":\"ready\"", "\"ready\""}) {
    EXPECT_FALSE(parseEarshotLine(junk)) << junk;
  }
}

}  // namespace
}  // namespace earshot::feed
