#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace earshot::protocol {

// Base64 as the "pcm" member carries it: the standard alphabet, padded with
// '=' to a multiple of four characters. The program decodes it strictly
// (below); hosts, tests and benchmarks encode with the same module.

// Appends `bytes` as padded standard Base64.
void appendBase64(std::string& out, std::span<const uint8_t> bytes);

// Appends `samples` as signed 16-bit little-endian bytes in Base64, whatever
// the machine's byte order: the form "pcm" takes.
void appendPcmBase64(std::string& out, std::span<const int16_t> samples);

// Strict decoding: '=' may only be the last one or two characters; any other
// character outside the alphabet (whitespace and line breaks included) is an
// error. The bits that padding leaves over are ignored.

// The number of bytes `text` decodes to, or nullopt when its length or the
// place of its padding rules it out. Characters are checked by decodeBase64.
std::optional<size_t> base64DecodedSize(std::string_view text);

// Decodes `text`, whose size base64DecodedSize accepted, into `out`, which
// has room for exactly that many bytes. False when a character is outside
// the alphabet; `out` then holds garbage.
bool decodeBase64(std::string_view text, unsigned char* out);

}  // namespace earshot::protocol
