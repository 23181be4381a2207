// GB18030 encoder (CT_GB18030): ASCII bytes, two-byte codes and four-byte
// codes, numbered together as one linear index. BMP characters reach their
// index through the range records of the table's GB18030 extension; the
// supplementary planes are computed.
#include <cstring>

#include "zel/codeset_tables.h"
#include "zel/encoders.h"
#include "zel/utf8_reader.h"

namespace zel {

namespace {

constexpr std::uint32_t kFirstFourByteIndex = 24067;    // 81 30 81 30
constexpr std::uint32_t kSupplementaryOffset = 123464;  // U+10000 is 90 30 81 30

// The parts of the extension the encoder reads; validated at load.
struct GbLookup {
  const unsigned char* d;  // the u16 array D
  std::uint32_t records, directory, values;
};

GbLookup gbLookupOf(const unsigned char* table) {
  const unsigned char* e = table + readLe16(table + kTableGbExtensionOffset);
  return {e + kGbHeaderSize, readLe32(e), readLe32(e + 4), readLe32(e + 8)};
}

inline std::uint16_t dAt(const GbLookup& g, std::size_t i) {
  return readLe16(g.d + 2 * i);
}

// Four bytes of a four-byte code number n (0 for 81 30 81 30).
void writeFourByte(std::uint32_t n, unsigned char* bytes) {
  bytes[3] = static_cast<unsigned char>(0x30 + n % 10);
  n /= 10;
  bytes[2] = static_cast<unsigned char>(0x81 + n % 126);
  n /= 126;
  bytes[1] = static_cast<unsigned char>(0x30 + n % 10);
  bytes[0] = static_cast<unsigned char>(0x81 + n / 10);
}

// Encodes a BMP value from 0x80 through the range records; 0 bytes when it
// has no mapping.
std::size_t encodeBmp(const GbLookup& g, std::uint32_t k, unsigned char* bytes) {
  std::size_t at = g.records + static_cast<std::uint16_t>(dAt(g, g.directory + (k >> 9)) * 4u);
  for (;; at += 4) {
    std::uint16_t start = dAt(g, at), end = dAt(g, at + 1);
    if (k < start) return 0;
    if (k <= end) break;
  }
  std::uint16_t start = dAt(g, at), kind = dAt(g, at + 2), base = dAt(g, at + 3);
  std::uint32_t index = 0;
  if (kind == 1)
    index = dAt(g, g.values + base + (k - start));
  else if (kind == 2)
    index = base + (k - start);
  if (index == 0) {
    bytes[0] = static_cast<unsigned char>((base + (k - start)) & 0xFF);
    return 1;
  }
  if (index < kFirstFourByteIndex) {
    std::uint32_t c = index - 1;
    bytes[0] = static_cast<unsigned char>(0x81 + c / 191);
    bytes[1] = static_cast<unsigned char>(0x40 + c % 191);
    return 2;
  }
  writeFourByte(index - kFirstFourByteIndex, bytes);
  return 4;
}

}  // namespace

int encodeGb18030(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                  unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) {
    converter->encodeShift = 0;
    return CONV_OK;
  }
  GbLookup g = gbLookupOf(converter->table);
  for (;;) {
    copyAsciiRun(in, inEnd, out, outEnd);
    if (*in == inEnd) return CONV_OK;
    if (*out == outEnd) return CONV_OUTPUT_FULL;
    Utf8Char c = readUtf8Full(*in, inEnd);
    if (c.length == 0) return CONV_INCOMPLETE;
    std::uint32_t u = c.value;
    unsigned char bytes[4];
    std::size_t n = 0;
    if (u < 0x80) {
      bytes[n++] = static_cast<unsigned char>(u);
    } else if (u >= 0x10000 && u <= 0x10FFFF) {
      writeFourByte(u + kSupplementaryOffset, bytes);
      n = 4;
    } else if (u < 0x10000) {
      n = encodeBmp(g, u, bytes);
    }
    bool substituted = n == 0;
    if (substituted) bytes[n++] = '?';
    if (n > static_cast<std::size_t>(outEnd - *out)) return CONV_OUTPUT_FULL;
    std::memcpy(*out, bytes, n);
    *out += n;
    *in += c.length;
    if (c.invalid) countSubstitution(converter);
    if (substituted) countSubstitution(converter);
  }
}

}  // namespace zel
