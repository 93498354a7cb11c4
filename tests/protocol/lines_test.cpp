#include <gtest/gtest.h>
#include <simdjson.h>

#include "protocol/host_lines.h"
#include "protocol/program_lines.h"

namespace earshot::protocol {
namespace {

TEST(ProtocolLines, OutgoingLinesAreExactAndLocalesSurviveEscaping) {
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
TEST(ProtocolLines, InitCarriesOptionsOnlyWhenAsked) {
  const std::pair<InitExtras, std::string> cases[] = {
      {{}, R"({"type":"init","locale":"en-US"})"},
      {{true, false, {}, false, "", "", false},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange"]})"},
      {{true, true, {}, false, "", "", false},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange","transcriptionConfidence"]})"},
      {{false, false, {"Ksenia Wojcik", "say \"hi\""}, false, "", "", false},
       R"({"type":"init","locale":"en-US","contextualStrings":["Ksenia Wojcik","say \"hi\""]})"},
      {{false, false, {}, true, "", "", false},
       R"({"type":"init","locale":"en-US","acknowledgeFlush":true})"},
      {{true, true, {"earshot"}, true, "", "", false},
       R"({"type":"init","locale":"en-US","attributeOptions":["audioTimeRange","transcriptionConfidence"],"contextualStrings":["earshot"],"acknowledgeFlush":true})"},
      {{false, false, {}, true, "off", "kid-2", false},
       R"({"type":"init","locale":"en-US","acknowledgeFlush":true,"speakerAdaptation":"off","speakerProfile":"kid-2"})"},
      {{false, false, {}, false, "", "phone", false},
       R"({"type":"init","locale":"en-US","speakerProfile":"phone"})"},
      {{false, false, {}, false, "", "", true},
       R"({"type":"init","locale":"en-US","textForm":"spoken"})"},
  };
  for (const auto& [extras, line] : cases) EXPECT_EQ(initLine("en-US", extras), line + "\n");
}

TEST(ProtocolLines, ReadsEarshotLines) {
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
}  // namespace earshot::protocol
