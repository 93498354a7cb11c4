#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "channel/byte_source.h"

namespace earshot::channel {

// One line of host input, without its terminator.
struct InputLine {
  // Valid UTF-8 (invalid sequences replaced by U+FFFD). Valid until the next
  // read; at least kLinePadding readable bytes follow it, so the JSON parser
  // can work in place.
  std::string_view text;
  // The line reached kMaxLineBytes. Its text was not kept (`text` is empty):
  // the reader never holds more than one line's limit in memory.
  bool overLong = false;
};

// Reads host input one line at a time. A line ends at a line feed; one
// terminator (LF or CR LF) is removed, other carriage returns stay; a last
// line without a terminator is still a line. A UTF-8 byte-order mark at the
// very start of the input is skipped; anywhere else it stays in the line.
class LineReader {
 public:
  // Lines of this many UTF-8 bytes or more are reported as over-long.
  static constexpr size_t kMaxLineBytes = 2'000'000;
  // Readable bytes guaranteed after every returned text.
  static constexpr size_t kLinePadding = 64;

  explicit LineReader(ByteSource& source);

  // The next line, or nullopt at end of input. Reads from the source only
  // as far as it must to find the end of that line.
  std::optional<InputLine> next();

 private:
  bool fill();
  void skipByteOrderMark();
  InputLine finishLine(size_t length, bool terminated);

  ByteSource& source_;
  std::unique_ptr<char[]> buffer_;
  size_t capacity_;
  size_t start_ = 0;  // first byte of the line being read
  size_t end_ = 0;    // end of the bytes read so far
  size_t scan_ = 0;   // bytes before this have no line feed
  bool eof_ = false;
  bool atStart_ = true;
  std::string repaired_;  // the line with U+FFFD replacements, when needed
};

}  // namespace earshot::channel
