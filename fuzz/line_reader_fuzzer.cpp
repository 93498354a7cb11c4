// The line reader on arbitrary byte streams, served in pieces of a size the
// input chooses. Every line must be valid UTF-8 without a line feed, short of
// the limit, and equal to the raw line whenever that was valid UTF-8; a
// byte-order mark at the very start is not part of the first line.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "channel/byte_source.h"
#include "channel/line_reader.h"
#include "channel/utf8.h"

namespace {

struct RawLine {
  std::string_view text;
  bool terminated;
};

std::vector<RawLine> splitLines(std::string_view bytes) {
  std::vector<RawLine> lines;
  while (!bytes.empty()) {
    size_t lf = bytes.find('\n');
    if (lf == std::string_view::npos) {
      lines.push_back({bytes, false});
      break;
    }
    lines.push_back({bytes.substr(0, lf), true});
    bytes.remove_prefix(lf + 1);
  }
  return lines;
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t chunk = 1 + data[0] % 17;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  earshot::channel::MemoryByteSource source(bytes, chunk);
  earshot::channel::LineReader reader(source);
  std::string_view text = bytes;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<RawLine> expected = splitLines(text);
  size_t index = 0;
  while (auto line = reader.next()) {
    check(index < expected.size());
    RawLine raw = expected[index++];
    if (raw.terminated && !raw.text.empty() && raw.text.back() == '\r') raw.text.remove_suffix(1);
    if (line->overLong) {
      check(line->text.empty());
      continue;
    }
    check(line->text.size() < earshot::channel::LineReader::kMaxLineBytes);
    check(line->text.find('\n') == std::string_view::npos);
    check(earshot::channel::isValidUtf8(line->text));
    if (earshot::channel::isValidUtf8(raw.text)) check(line->text == raw.text);
  }
  check(index == expected.size());
  return 0;
}
