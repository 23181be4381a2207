// GB18030 encoder (CT_GB18030): ASCII bytes, two-byte codes and four-byte
// codes, numbered together as one linear index. BMP characters reach their
// index through the range records of the table's GB18030 extension; the
// supplementary planes are computed.
#include <cstring>

#include "zel/codeset_tables.h"
#include "zel/encoders.h"
#include "zel/engine_frame.h"

namespace zel {

namespace {

constexpr std::uint32_t FIRST_FOUR_BYTE_INDEX = 24067;  // 81 30 81 30
constexpr std::uint32_t SUPPLEMENTARY_OFFSET = 123464;  // U+10000 is 90 30 81 30

// The parts of the extension the encoder reads; validated at load.
struct GbLookup {
  const unsigned char* d;  // the u16 array D
  std::uint32_t records, directory, values;
};

GbLookup gbLookupOf(const unsigned char* table) {
  const unsigned char* e = table + readLe16(table + TABLE_GB_EXTENSION_OFFSET);
  return {e + GB_HEADER_SIZE, readLe32(e), readLe32(e + 4), readLe32(e + 8)};
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

constexpr std::uint32_t ONE_BYTE = 0x80000000u;  // marks a one-byte result

// The range lookup of a BMP key: a linear index, ONE_BYTE | the byte, or 0
// when the key has no mapping.
inline std::uint32_t lookupBmp(const GbLookup& g, std::uint32_t k) {
  std::size_t at = g.records + static_cast<std::uint16_t>(dAt(g, g.directory + (k >> 9)) * 4u);
  for (;; at += 4) {
    if (k < dAt(g, at)) return 0;
    if (k <= dAt(g, at + 1)) break;
  }
  std::uint16_t start = dAt(g, at), kind = dAt(g, at + 2), base = dAt(g, at + 3);
  std::uint32_t index = 0;
  if (kind == 1)
    index = dAt(g, g.values + base + (k - start));
  else if (kind == 2)
    index = base + (k - start);
  if (index == 0) return ONE_BYTE | ((base + (k - start)) & 0xFF);
  return index;
}

// The two bytes of a linear index below 24067, first byte high.
inline unsigned twoByteCode(std::uint32_t index) {
  std::uint32_t c = index - 1;
  return ((0x81 + c / 191) << 8) | (0x40 + c % 191);
}

// The code of a 16-bit value in the direct-index form (encoders.h): a
// byte, a two-byte code, unmapped, or a four-byte code (left to the general
// path).
inline std::uint16_t shortCode(const GbLookup& g, std::uint32_t u) {
  if (u < 0x80) return static_cast<std::uint16_t>(u);
  std::uint32_t r = lookupBmp(g, u);
  if (r == 0) return BMP_CODE_UNMAPPED;
  if (r & ONE_BYTE) return static_cast<std::uint16_t>(r & 0xFF);
  return r < FIRST_FOUR_BYTE_INDEX ? static_cast<std::uint16_t>(twoByteCode(r)) : BMP_CODE_GENERAL;
}

// Encodes a BMP value from 0x80; 0 bytes when it has no mapping.
std::size_t encodeBmp(const GbLookup& g, std::uint32_t k, unsigned char* bytes) {
  std::uint32_t r = lookupBmp(g, k);
  if (r == 0) return 0;
  if (r & ONE_BYTE) {
    bytes[0] = static_cast<unsigned char>(r & 0xFF);
    return 1;
  }
  if (r < FIRST_FOUR_BYTE_INDEX) {
    unsigned code = twoByteCode(r);
    bytes[0] = static_cast<unsigned char>(code >> 8);
    bytes[1] = static_cast<unsigned char>(code & 0xFF);
    return 2;
  }
  writeFourByte(r - FIRST_FOUR_BYTE_INDEX, bytes);
  return 4;
}

}  // namespace

ConvStatus encodeGb18030(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                         unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) return resetShiftState(converter);
  const GbLookup g = gbLookupOf(converter->table);
  return convertCharacters<true>(
      converter, in, inEnd, out, outEnd,
      [converter, &g](const unsigned char*& p, const unsigned char* pEnd, unsigned char*& q,
                      unsigned char* qEnd) {
        return takeAsciiOrFastRun(p, pEnd, q, qEnd, [&] {
          takeIndexedRun(converter, p, pEnd, q, qEnd, 0xF0,
                         [&g](std::uint32_t u) { return shortCode(g, u); });
        });
      },
      [&g](std::uint32_t u, unsigned char* q, std::ptrdiff_t room, bool* substituted) {
        unsigned char bytes[4];
        std::size_t n = 0;
        if (u < 0x80) {
          bytes[n++] = static_cast<unsigned char>(u);
        } else if (u >= 0x10000 && u <= 0x10FFFF) {
          writeFourByte(u + SUPPLEMENTARY_OFFSET, bytes);
          n = 4;
        } else if (u < 0x10000) {
          n = encodeBmp(g, u, bytes);
        }
        *substituted = n == 0;
        if (*substituted) bytes[n++] = '?';
        return putIfRoom(bytes, n, q, room);
      });
}

void buildGb18030Codes(const CodesetConverter* converter, std::uint16_t* codes) {
  const GbLookup g = gbLookupOf(converter->table);
  for (std::uint32_t u = 0; u < BMP_CODE_COUNT; ++u) codes[u] = shortCode(g, u);
}

}  // namespace zel
