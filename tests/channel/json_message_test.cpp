#include "channel/json_message.h"

#include <gtest/gtest.h>

#include <string>

#include "channel/byte_source.h"

namespace earshot::channel {
namespace {

// Parses `text` the way the program does: through the line reader.
class Parsed {
 public:
  explicit Parsed(std::string text) : text_(std::move(text)), source_(text_), reader_(source_) {
    line_ = *reader_.next();
  }
  IncomingMessage message() { return parser_.parse(line_); }

 private:
  std::string text_;
  MemoryByteSource source_;
  LineReader reader_;
  InputLine line_;
  JsonMessageParser parser_;
};

TEST(JsonMessageParser, SyntaxErrorsCarryTheLibrarysOwnText) {
  for (const char* text :
       {"", " ", "\"stop\"", "42", "true", "null", "{\"type\":\"stop\"} x", "{\"type\":\"stop\"}{}",
        "/* c */ {}", "{\"a\":1,}", "{'a':1}", "{\"a\":1e400}", "[NaN]"}) {
    Parsed parsed(text);
    try {
      parsed.message();
      ADD_FAILURE() << "parsed: " << text;
    } catch (const JsonSyntaxError& error) {
      EXPECT_NE(std::string(error.what()), "") << text;
    }
  }
}

TEST(JsonMessageParser, ArraysParseButAreNotObjects) {
  Parsed empty("[]");
  EXPECT_FALSE(empty.message().isObject());
  Parsed one("  [1] ");
  EXPECT_FALSE(one.message().isObject());
  Parsed object(" {} ");
  EXPECT_TRUE(object.message().isObject());
}

TEST(IncomingMessage, MembersReadByKind) {
  Parsed parsed(R"({"type":"audio","sampleRate":16000,"big":9007199254740993,"neg":-0.5,)"
                R"("digits":"16000","nothing":null,"flag":true,"list":[1],"Type":"x",)"
                R"("dup":"first","dup":"second","exp":4.8e4,"huge":18446744073709551615})");
  IncomingMessage message = parsed.message();
  EXPECT_EQ(message.string("type"), "audio");
  EXPECT_EQ(message.number("sampleRate"), 16000.0);  // an integer reads as a double
  EXPECT_EQ(message.number("neg"), -0.5);
  EXPECT_EQ(message.number("exp"), 48000.0);
  EXPECT_EQ(message.number("big"), std::nullopt);   // not exactly a double
  EXPECT_EQ(message.number("huge"), std::nullopt);  // not exactly a double
  EXPECT_EQ(message.number("digits"), std::nullopt);
  EXPECT_EQ(message.string("sampleRate"), std::nullopt);
  EXPECT_EQ(message.string("nothing"), std::nullopt);
  EXPECT_EQ(message.number("nothing"), std::nullopt);
  EXPECT_EQ(message.string("flag"), std::nullopt);
  EXPECT_EQ(message.string("list"), std::nullopt);
  EXPECT_EQ(message.string("missing"), std::nullopt);
  EXPECT_EQ(message.string("Type"), "x");  // keys are case-sensitive
  EXPECT_EQ(message.string("dup"), "first");
}

TEST(IncomingMessage, ArrayHasNoMembers) {
  Parsed parsed(R"([{"type":"stop"}])");
  EXPECT_EQ(parsed.message().string("type"), std::nullopt);
}

TEST(IncomingMessage, EscapesAndReplacementCharactersDecode) {
  Parsed parsed("{\"locale\":\"a\\/b\\n\\u00e9\xFF\"}");
  EXPECT_EQ(parsed.message().string("locale"), "a/b\n\xC3\xA9\xEF\xBF\xBD");
}

}  // namespace
}  // namespace earshot::channel
