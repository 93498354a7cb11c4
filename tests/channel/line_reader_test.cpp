#include "channel/line_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "channel/byte_source.h"

namespace earshot::channel {
namespace {

struct ReadLine {
  std::string text;
  bool overLong;
  bool operator==(const ReadLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ReadLine& line) {
  return out << (line.overLong ? "<over-long>" : "\"" + line.text + "\"");
}

// Reads all lines of `input`, served `chunk` bytes at a time.
std::vector<ReadLine> readAll(const std::string& input, size_t chunk) {
  MemoryByteSource source(input, chunk);
  LineReader reader(source);
  std::vector<ReadLine> lines;
  while (std::optional<InputLine> line = reader.next()) {
    lines.push_back({std::string(line->text), line->overLong});
  }
  return lines;
}

struct LineCase {
  const char* name;
  std::string input;
  std::vector<ReadLine> expected;
};

class LineReaderCases : public testing::TestWithParam<LineCase> {};

TEST_P(LineReaderCases, SameLinesWhateverTheChunking) {
  const LineCase& c = GetParam();
  for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{1} << 16}) {
    EXPECT_EQ(readAll(c.input, chunk), c.expected) << "chunk " << chunk;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Terminators, LineReaderCases,
    testing::Values(
        LineCase{"empty_input", "", {}}, LineCase{"lf", "a\nb\n", {{"a", false}, {"b", false}}},
        LineCase{"crlf_same_as_lf", "a\r\nb\r\n", {{"a", false}, {"b", false}}},
        LineCase{"unterminated_last_line", "a\nlast", {{"a", false}, {"last", false}}},
        LineCase{"other_crs_stay", "a\rb\r\r\n\r", {{"a\rb\r", false}, {"\r", false}}},
        LineCase{"blank_lines_are_lines", "\n\r\n\n", {{"", false}, {"", false}, {"", false}}},
        LineCase{"invalid_utf8_becomes_fffd",
                 "ok \xC3\xA9 \xFF x \xE2\x82 y \xED\xA0\x80\n",
                 {{"ok \xC3\xA9 \xEF\xBF\xBD x \xEF\xBF\xBD y "
                   "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
                   false}}}),
    [](const auto& info) { return std::string(info.param.name); });

// A byte-order mark counts only at the very start of the input.
INSTANTIATE_TEST_SUITE_P(
    ByteOrderMark, LineReaderCases,
    testing::Values(
        LineCase{
            "skipped_before_the_first_line", "\xEF\xBB\xBF{}\nb\n", {{"{}", false}, {"b", false}}},
        LineCase{"alone_is_empty_input", "\xEF\xBB\xBF", {}},
        LineCase{"before_an_empty_line", "\xEF\xBB\xBF\n", {{"", false}}},
        LineCase{"kept_on_a_later_line",
                 "a\n\xEF\xBB\xBF{}\n",
                 {{"a", false}, {"\xEF\xBB\xBF{}", false}}},
        LineCase{"kept_after_another", "\xEF\xBB\xBF\xEF\xBB\xBF{}", {{"\xEF\xBB\xBF{}", false}}},
        LineCase{"a_cut_mark_is_invalid_text", "\xEF\xBB", {{"\xEF\xBF\xBD", false}}},
        LineCase{"a_short_first_line_is_not_held_back",
                 "a\n\xEF\xBB\xBF",
                 {{"a", false}, {"\xEF\xBB\xBF", false}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LineReader, LimitIsTwoMillionBytesOfText) {
  const size_t limit = LineReader::kMaxLineBytes;
  std::string justUnder(limit - 1, 'a');
  std::string atLimit(limit, 'b');
  // The CR of a CRLF terminator does not count towards the limit.
  std::string input = justUnder + "\r\n" + atLimit + "\nnext\n" + std::string(3 * limit, 'c');
  std::vector<ReadLine> lines = readAll(input, 1 << 16);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], (ReadLine{justUnder, false}));
  EXPECT_TRUE(lines[1].overLong);
  EXPECT_EQ(lines[2], (ReadLine{"next", false}));  // the reader resynchronises after it
  EXPECT_TRUE(lines[3].overLong);                  // even without a terminator
}

TEST(LineReader, RepairedLineCountsTowardsTheLimit) {
  // Each invalid byte grows to three bytes of U+FFFD.
  std::string input(LineReader::kMaxLineBytes / 3 + 1, '\xFF');
  std::vector<ReadLine> lines = readAll(input + "\n", 1 << 16);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].overLong);
}

TEST(LineReader, ReadsNoFurtherThanTheLineNeeds) {
  // A source that fails the test if it is read after the first line is
  // complete: the host may still be writing.
  class OneLineThenFail : public ByteSource {
   public:
    size_t readSome(char* out, size_t capacity) override {
      EXPECT_FALSE(served_) << "read past a complete line";
      served_ = true;
      std::string line = "{\"type\":\"stop\"}\n";
      std::copy(line.begin(), line.begin() + std::min(capacity, line.size()), out);
      return std::min(capacity, line.size());
    }

   private:
    bool served_ = false;
  } source;
  LineReader reader(source);
  auto line = reader.next();
  ASSERT_TRUE(line);
  EXPECT_EQ(line->text, "{\"type\":\"stop\"}");
}

}  // namespace
}  // namespace earshot::channel
