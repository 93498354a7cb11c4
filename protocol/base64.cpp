#include "protocol/base64.h"

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace earshot::protocol {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the decoder stores three bytes with one little-endian word");

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void appendGroup(std::string& out, const uint8_t* bytes, size_t count) {
  uint32_t group = uint32_t(bytes[0]) << 16;
  if (count > 1) group |= uint32_t(bytes[1]) << 8;
  if (count > 2) group |= bytes[2];
  out += kAlphabet[(group >> 18) & 63];
  out += kAlphabet[(group >> 12) & 63];
  out += count > 1 ? kAlphabet[(group >> 6) & 63] : '=';
  out += count > 2 ? kAlphabet[group & 63] : '=';
}

constexpr uint32_t kInvalid = 0x01000000;

constexpr int sextet(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// One table per position in a quad, each giving that character's bits
// already in place in the little-endian word of the three output bytes, so a
// quad costs four loads and three ORs. Invalid characters set bit 24, which
// no valid character touches.
struct Tables {
  std::array<uint32_t, 256> at[4];
};

constexpr Tables makeTables() {
  Tables tables{};
  for (int c = 0; c < 256; ++c) {
    int s = sextet(static_cast<unsigned char>(c));
    if (s < 0) {
      for (auto& table : tables.at) table[c] = kInvalid;
      continue;
    }
    auto v = static_cast<uint32_t>(s);
    tables.at[0][c] = v << 2;                                // byte 0, high six bits
    tables.at[1][c] = (v >> 4) | ((v & 0x0F) << 12);         // byte 0 low two, byte 1 high four
    tables.at[2][c] = ((v >> 2) << 8) | ((v & 0x03) << 22);  // byte 1 low four, byte 2 high two
    tables.at[3][c] = v << 16;                               // byte 2, low six bits
  }
  return tables;
}

constexpr Tables kTables = makeTables();

inline uint32_t quad(const unsigned char* in) {
  return kTables.at[0][in[0]] | kTables.at[1][in[1]] | kTables.at[2][in[2]] | kTables.at[3][in[3]];
}

}  // namespace

void appendBase64(std::string& out, std::span<const uint8_t> bytes) {
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  size_t whole = bytes.size() / 3 * 3;
  for (size_t i = 0; i < whole; i += 3) appendGroup(out, bytes.data() + i, 3);
  if (whole < bytes.size()) appendGroup(out, bytes.data() + whole, bytes.size() - whole);
}

void appendPcmBase64(std::string& out, std::span<const int16_t> samples) {
  out.reserve(out.size() + (samples.size() * 2 + 2) / 3 * 4);
  // Three samples are six bytes, two whole groups; the odd tail goes through
  // a small buffer so the byte order never depends on the machine's.
  std::array<uint8_t, 6> bytes;
  size_t i = 0;
  for (; i + 3 <= samples.size(); i += 3) {
    for (size_t k = 0; k < 3; ++k) {
      auto value = uint16_t(samples[i + k]);
      bytes[2 * k] = uint8_t(value & 0xff);
      bytes[2 * k + 1] = uint8_t(value >> 8);
    }
    appendGroup(out, bytes.data(), 3);
    appendGroup(out, bytes.data() + 3, 3);
  }
  size_t tail = 0;
  for (; i < samples.size(); ++i) {
    auto value = uint16_t(samples[i]);
    bytes[tail++] = uint8_t(value & 0xff);
    bytes[tail++] = uint8_t(value >> 8);
  }
  if (tail > 0) appendBase64(out, std::span<const uint8_t>(bytes.data(), tail));
}

std::optional<size_t> base64DecodedSize(std::string_view text) {
  size_t length = text.size();
  if (length % 4 != 0) return std::nullopt;
  if (length == 0) return 0;
  size_t padding = text[length - 1] == '=' ? (text[length - 2] == '=' ? 2 : 1) : 0;
  return length / 4 * 3 - padding;
}

bool decodeBase64(std::string_view text, unsigned char* out) {
  if (text.empty()) return true;
  auto in = reinterpret_cast<const unsigned char*>(text.data());
  size_t quads = text.size() / 4;
  uint32_t seen = 0;
  // Every quad but the last stores a whole word: its fourth byte lands on
  // the first byte of the next quad's output, which always exists.
  for (size_t i = 0; i + 1 < quads; ++i) {
    uint32_t word = quad(in);
    seen |= word;
    std::memcpy(out, &word, 4);
    in += 4;
    out += 3;
  }
  // The last quad may end in one or two '=', which the tables reject.
  unsigned char last[4] = {in[0], in[1], in[2], in[3]};
  size_t bytes = 3;
  if (last[3] == '=') {
    last[3] = 'A';
    bytes = 2;
    if (last[2] == '=') {
      last[2] = 'A';
      bytes = 1;
    }
  }
  uint32_t word = quad(last);
  seen |= word;
  if (seen & kInvalid) return false;
  out[0] = static_cast<unsigned char>(word);
  if (bytes > 1) out[1] = static_cast<unsigned char>(word >> 8);
  if (bytes > 2) out[2] = static_cast<unsigned char>(word >> 16);
  return true;
}

}  // namespace earshot::protocol
