#include "channel/line_reader.h"

#include <algorithm>
#include <cstring>

#include "channel/utf8.h"

namespace earshot::channel {
namespace {

constexpr size_t kReadChunk = 1 << 16;
// One byte more than the limit so that a CR before the LF can still be
// stripped from a line whose text is just under the limit.
constexpr size_t kMaxRawBytes = LineReader::kMaxLineBytes + 1;
// The buffer starts small and grows with the longest line up to the limit.
constexpr size_t kInitialCapacity = 4 * kReadChunk;
constexpr size_t kMaxCapacity = kMaxRawBytes + kReadChunk;

}  // namespace

LineReader::LineReader(ByteSource& source)
    : source_(source),
      buffer_(std::make_unique_for_overwrite<char[]>(kInitialCapacity + kLinePadding)),
      capacity_(kInitialCapacity) {}

bool LineReader::fill() {
  if (eof_) return false;
  if (capacity_ - end_ < kReadChunk) {
    // Make room by moving the unread part to the front; it is shorter than a
    // line's limit, so it fits with a whole chunk behind it.
    std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
    end_ -= start_;
    scan_ -= start_;
    start_ = 0;
  }
  if (capacity_ - end_ < kReadChunk) {
    // A long line: double the buffer, up to one line's limit and a chunk.
    size_t grown = std::min(capacity_ * 2, kMaxCapacity);
    auto larger = std::make_unique_for_overwrite<char[]>(grown + kLinePadding);
    std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ = grown;
  }
  size_t got = source_.readSome(buffer_.get() + end_, capacity_ - end_);
  if (got == 0) {
    eof_ = true;
    return false;
  }
  end_ += got;
  return true;
}

InputLine LineReader::finishLine(size_t length, bool terminated) {
  char* text = buffer_.get() + start_;
  if (terminated && length > 0 && text[length - 1] == '\r') --length;
  if (length >= kMaxLineBytes) return InputLine{{}, true};
  if (isValidUtf8({text, length})) return InputLine{{text, length}, false};
  repaired_.reserve(length + kLinePadding);
  repairUtf8({text, length}, repaired_);
  if (repaired_.size() >= kMaxLineBytes) return InputLine{{}, true};
  size_t size = repaired_.size();
  repaired_.append(kLinePadding, '\0');
  return InputLine{{repaired_.data(), size}, false};
}

void LineReader::skipByteOrderMark() {
  static constexpr std::string_view kMark = "\xEF\xBB\xBF";
  // Enough bytes to tell, unless the input ends or a line does first.
  while (end_ < kMark.size() && std::memchr(buffer_.get(), '\n', end_) == nullptr && fill()) {
  }
  if (std::string_view(buffer_.get(), std::min(end_, kMark.size())) == kMark) {
    scan_ = kMark.size();
  }
}

std::optional<InputLine> LineReader::next() {
  if (atStart_) {
    // A UTF-8 byte-order mark is accepted before the first line only, as
    // JSON readers accept one before a document; anywhere else it is text.
    atStart_ = false;
    skipByteOrderMark();
  }
  // The previous line's bytes, terminator included, end at scan_.
  start_ = scan_;
  bool discarding = false;
  for (;;) {
    if (void* lf = std::memchr(buffer_.get() + scan_, '\n', end_ - scan_)) {
      size_t at = static_cast<size_t>(static_cast<char*>(lf) - buffer_.get());
      scan_ = at + 1;
      if (discarding) return InputLine{{}, true};
      return finishLine(at - start_, true);
    }
    scan_ = end_;
    if (discarding || end_ - start_ > kMaxRawBytes) {
      // Too long to keep: drop what we have and skip to the terminator.
      discarding = true;
      start_ = scan_ = end_ = 0;
    }
    if (!fill()) break;
  }
  // End of input.
  if (discarding) return InputLine{{}, true};
  if (end_ == start_) return std::nullopt;
  scan_ = end_;
  return finishLine(end_ - start_, false);
}

}  // namespace earshot::channel
