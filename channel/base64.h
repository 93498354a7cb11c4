#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace earshot::channel {

// Strict Base64: the standard alphabet, padded with '=' to a multiple of four
// characters. '=' may only be the last one or two characters; any other
// character (whitespace and line breaks included) is an error. The bits that
// padding leaves over are ignored.

// The number of bytes `text` decodes to, or nullopt when its length or the
// place of its padding rules it out. Characters are checked by decodeBase64.
std::optional<size_t> base64DecodedSize(std::string_view text);

// Decodes `text`, whose size base64DecodedSize accepted, into `out`, which
// has room for exactly that many bytes. False when a character is outside
// the alphabet; `out` then holds garbage.
bool decodeBase64(std::string_view text, unsigned char* out);

}  // namespace earshot::channel
