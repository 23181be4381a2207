// EBCDIC encoders: single-byte (CT_EBCDIC_SBCS) and mixed with SO/SI
// double-byte runs (CT_EBCDIC_MIXED). Invariant characters come from the
// built-in table unless the page has a single byte of its own for them, the
// rest from the codeset's table; '?' is 0x6F here.
#include <cstring>

#include "zel/codeset_tables.h"
#include "zel/ebcdic_invariant.h"
#include "zel/encoders.h"
#include "zel/engine_frame.h"

namespace zel {

namespace {

constexpr unsigned char EBCDIC_QUESTION = 0x6F;
constexpr unsigned char SHIFT_OUT = 0x0E;
constexpr unsigned char SHIFT_IN = 0x0F;

// Per input byte: its EBCDIC byte | 0x100 when it is an invariant character,
// or 0 (so every byte from 0x80 is 0). One read per byte in the run copy.
struct InvariantBytes {
  std::uint16_t entry[256];
};

const InvariantBytes& builtInBytes() {
  static const InvariantBytes table = [] {
    InvariantBytes t{};
    for (int u = 0; u < 256; ++u)
      if (unicodeInvariantChars[u]) t.entry[u] = static_cast<std::uint16_t>(0x100 | unicodeToEbcdic[u]);
    return t;
  }();
  return table;
}

// LF is written as NL and SO/SI as the shift codes whatever a page says.
constexpr bool keepsBuiltInByte(unsigned u) {
  return u == '\n' || u == SHIFT_OUT || u == SHIFT_IN;
}

// The invariant bytes of this converter's page: the page's own single byte
// where its table has one that differs (code page 930 puts katakana where the
// other pages have the lowercase letters), the built-in byte elsewhere. Built
// per call from the 128 ASCII entries of the page's first encoding row.
template <bool MIXED>
InvariantBytes pageInvariantBytes(const unsigned char* table) {
  InvariantBytes page = builtInBytes();
  const unsigned char* row = encodingRow(table, 0);
  unsigned char subByte = table[TABLE_SUB_BYTE_OFFSET];
  std::uint16_t subChar = readLe16(table + TABLE_SUB_CHAR_OFFSET);
  for (unsigned u = 0; u < 0x80; ++u) {
    if (page.entry[u] == 0 || keepsBuiltInByte(u)) continue;
    unsigned byte;
    if (MIXED) {
      byte = readLe16(row + 2 * u);  // 0xFFFF (none) and double-byte codes are >= 0x100
    } else {
      byte = row[u];
      if (byte == subByte && u != subChar) byte = 0x100;  // no mapping
    }
    if (byte < 0x100) page.entry[u] = static_cast<std::uint16_t>(0x100 | byte);
  }
  return page;
}

// Writes the run of invariant ASCII bytes at p; true when it took any. The
// mixed engine stops at SO, which opens a double-byte run.
template <bool STOP_AT_SHIFT_OUT>
bool copyInvariantRun(const std::uint16_t* entry, const unsigned char*& in, const unsigned char* inEnd,
                      unsigned char*& out, unsigned char* outEnd) {
  // Local copies: the byte stores cannot then force the pointers through memory.
  const unsigned char* p = in;
  unsigned char* q = out;
  std::size_t inLeft = static_cast<std::size_t>(inEnd - p);
  std::size_t outLeft = static_cast<std::size_t>(outEnd - q);
  const unsigned char* stop = p + (inLeft < outLeft ? inLeft : outLeft);
  while (p < stop) {
    std::uint16_t e = entry[*p];
    if (e == 0 || (STOP_AT_SHIFT_OUT && *p == SHIFT_OUT)) break;
    *q++ = static_cast<unsigned char>(e);
    ++p;
  }
  bool took = p != in;
  in = p;
  out = q;
  return took;
}

unsigned char encodeEbcdicByte(const unsigned char* table, const std::uint16_t* entry, std::uint32_t u,
                               bool* substituted) {
  if (u < 0x100 && entry[u] != 0) return static_cast<unsigned char>(entry[u]);
  unsigned char b = encodingRow(table, u >> 8)[u & 0xFF];
  if (b == table[TABLE_SUB_BYTE_OFFSET] && !(u == readLe16(table + TABLE_SUB_CHAR_OFFSET) && u != 0xFFFF)) {
    *substituted = true;
    return EBCDIC_QUESTION;
  }
  return b;
}

// The bytes of u in shift state *shift for the mixed engine; updates *shift.
std::size_t encodeMixed(const unsigned char* table, const std::uint16_t* entry, std::uint32_t u,
                        std::uint8_t* shift, unsigned char* bytes, bool* substituted) {
  std::size_t n = 0;
  if (u < 0x100 && entry[u] != 0) {
    if (*shift == 1) bytes[n++] = SHIFT_IN;
    bytes[n++] = static_cast<unsigned char>(entry[u]);
    *shift = (u == SHIFT_OUT) ? 1 : 0;
    return n;
  }
  std::uint16_t v = readLe16(encodingRow(table, u >> 8) + 2 * (u & 0xFF));
  if (v == 0xFFFF) {
    v = EBCDIC_QUESTION;
    *substituted = true;
  }
  if (v < 0x100) {
    if (*shift == 1) bytes[n++] = SHIFT_IN;
    bytes[n++] = static_cast<unsigned char>(v);
    *shift = 0;
    return n;
  }
  if (*shift == 0) bytes[n++] = SHIFT_OUT;
  bytes[n++] = static_cast<unsigned char>(v >> 8);
  bytes[n++] = static_cast<unsigned char>(v & 0xFF);
  *shift = 1;
  return n;
}

}  // namespace

ConvStatus encodeEbcdicSbcs(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                            unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) return resetShiftState(converter);
  const unsigned char* table = converter->table;
  const InvariantBytes page = pageInvariantBytes<false>(table);
  return convertCharacters<false>(
      converter, in, inEnd, out, outEnd,
      [&page](const unsigned char*& p, const unsigned char* pEnd, unsigned char*& q, unsigned char* qEnd) {
        return copyInvariantRun<false>(page.entry, p, pEnd, q, qEnd);
      },
      [table, &page](std::uint32_t u, unsigned char* q, std::ptrdiff_t, bool* substituted) {
        *q = encodeEbcdicByte(table, page.entry, u, substituted);  // one byte always fits
        return std::ptrdiff_t{1};
      });
}

ConvStatus encodeEbcdicMixed(CodesetConverter* converter, const unsigned char** in,
                             const unsigned char* inEnd, unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) {
    if (converter->encodeShift == 1) {
      if (*out == outEnd) return CONV_OUTPUT_FULL;
      *(*out)++ = SHIFT_IN;
      converter->encodeShift = 0;
    }
    return CONV_OK;
  }
  const unsigned char* table = converter->table;
  const InvariantBytes page = pageInvariantBytes<true>(table);
  std::uint8_t shift = converter->encodeShift;
  ConvStatus status = convertCharacters<false>(
      converter, in, inEnd, out, outEnd,
      [&page, &shift](const unsigned char*& p, const unsigned char* pEnd, unsigned char*& q,
                      unsigned char* qEnd) {
        return shift == 0 && copyInvariantRun<true>(page.entry, p, pEnd, q, qEnd);
      },
      [table, &page, &shift](std::uint32_t u, unsigned char* q, std::ptrdiff_t room, bool* substituted) {
        unsigned char bytes[3];
        std::uint8_t next = shift;
        std::size_t count = encodeMixed(table, page.entry, u, &next, bytes, substituted);
        std::ptrdiff_t n = putIfRoom(bytes, count, q, room);
        if (n >= 0) shift = next;
        return n;
      });
  converter->encodeShift = shift;
  return status;
}

}  // namespace zel
