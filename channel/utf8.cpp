#include "channel/utf8.h"

#include <simdjson.h>

namespace earshot::channel {
namespace {

// Length of the valid UTF-8 sequence at `p`, or 0 when it is not one.
size_t validSequenceLength(const unsigned char* p, size_t available) {
  unsigned char c = p[0];
  if (c < 0x80) return 1;
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (available < length) return 0;
  if (p[1] < low || p[1] > high) return 0;
  for (size_t i = 2; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
  }
  return length;
}

// Length of the invalid part at `p`: the longest prefix of a sequence that
// could have been valid, or one byte.
size_t invalidPartLength(const unsigned char* p, size_t available) {
  unsigned char c = p[0];
  size_t length;
  unsigned char low = 0x80, high = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 1;
  }
  if (available < 2 || p[1] < low || p[1] > high) return 1;
  size_t i = 2;
  while (i < length && i < available && (p[i] & 0xC0) == 0x80) ++i;
  return i;
}

// Replaces each maximal invalid part with U+FFFD, as UTF-8 decoders do.
}  // namespace

void repairUtf8(std::string_view in, std::string& out) {
  out.clear();
  auto* p = reinterpret_cast<const unsigned char*>(in.data());
  size_t size = in.size();
  for (size_t i = 0; i < size;) {
    if (size_t length = validSequenceLength(p + i, size - i); length > 0) {
      out.append(in.data() + i, length);
      i += length;
    } else {
      out.append("\xEF\xBF\xBD");
      i += invalidPartLength(p + i, size - i);
    }
  }
}

bool isValidUtf8(std::string_view text) {
  return simdjson::validate_utf8(text.data(), text.size());
}

}  // namespace earshot::channel
