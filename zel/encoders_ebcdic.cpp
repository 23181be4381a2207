// EBCDIC encoders: single-byte (CT_EBCDIC_SBCS) and mixed with SO/SI
// double-byte runs (CT_EBCDIC_MIXED). Invariant characters come from the
// built-in table, the rest from the codeset's table; '?' is 0x6F here.
#include <cstring>

#include "zel/codeset_tables.h"
#include "zel/ebcdic_invariant.h"
#include "zel/encoders.h"
#include "zel/utf8_reader.h"

namespace zel {

namespace {

constexpr unsigned char kEbcdicQuestion = 0x6F;
constexpr unsigned char kShiftOut = 0x0E;
constexpr unsigned char kShiftIn = 0x0F;

// Writes the run of invariant ASCII bytes at *in, one table read per byte.
// The mixed engine stops at SO, which opens a double-byte run.
template <bool kStopAtShiftOut>
void copyInvariantRun(const unsigned char** in, const unsigned char* inEnd, unsigned char** out,
                      unsigned char* outEnd) {
  const unsigned char* p = *in;
  unsigned char* q = *out;
  std::size_t inLeft = static_cast<std::size_t>(inEnd - p);
  std::size_t outLeft = static_cast<std::size_t>(outEnd - q);
  const unsigned char* stop = p + (inLeft < outLeft ? inLeft : outLeft);
  while (p < stop && unicodeInvariantChars[*p] && !(kStopAtShiftOut && *p == kShiftOut))
    *q++ = unicodeToEbcdic[*p++];
  *in = p;
  *out = q;
}

unsigned char encodeEbcdicByte(const unsigned char* table, std::uint32_t u, bool* substituted) {
  if (u < 0x100 && unicodeInvariantChars[u]) return unicodeToEbcdic[u];
  unsigned char b = encodingRow(table, u >> 8)[u & 0xFF];
  if (b == table[kTableSubByteOffset] && !(u == readLe16(table + kTableSubCharOffset) && u != 0xFFFF)) {
    *substituted = true;
    return kEbcdicQuestion;
  }
  return b;
}

// The bytes of u in shift state *shift for the mixed engine; updates *shift.
std::size_t encodeMixed(const unsigned char* table, std::uint32_t u, std::uint8_t* shift,
                        unsigned char* bytes, bool* substituted) {
  std::size_t n = 0;
  if (u < 0x100 && unicodeInvariantChars[u]) {
    if (*shift == 1) bytes[n++] = kShiftIn;
    bytes[n++] = unicodeToEbcdic[u];
    *shift = (u == kShiftOut) ? 1 : 0;
    return n;
  }
  std::uint16_t v = readLe16(encodingRow(table, u >> 8) + 2 * (u & 0xFF));
  if (v == 0xFFFF) {
    v = kEbcdicQuestion;
    *substituted = true;
  }
  if (v < 0x100) {
    if (*shift == 1) bytes[n++] = kShiftIn;
    bytes[n++] = static_cast<unsigned char>(v);
    *shift = 0;
    return n;
  }
  if (*shift == 0) bytes[n++] = kShiftOut;
  bytes[n++] = static_cast<unsigned char>(v >> 8);
  bytes[n++] = static_cast<unsigned char>(v & 0xFF);
  *shift = 1;
  return n;
}

}  // namespace

int encodeEbcdicSbcs(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                     unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) {
    converter->encodeShift = 0;
    return CONV_OK;
  }
  const unsigned char* table = converter->table;
  for (;;) {
    copyInvariantRun<false>(in, inEnd, out, outEnd);
    if (*in == inEnd) return CONV_OK;
    if (*out == outEnd) return CONV_OUTPUT_FULL;
    Utf8Char c = readUtf8Short(*in, inEnd);
    if (c.length == 0) return CONV_INCOMPLETE;
    bool substituted = false;
    *(*out)++ = encodeEbcdicByte(table, c.value, &substituted);
    *in += c.length;
    if (c.invalid) countSubstitution(converter);
    if (substituted) countSubstitution(converter);
  }
}

int encodeEbcdicMixed(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                      unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) {
    if (converter->encodeShift == 1) {
      if (*out == outEnd) return CONV_OUTPUT_FULL;
      *(*out)++ = kShiftIn;
      converter->encodeShift = 0;
    }
    return CONV_OK;
  }
  const unsigned char* table = converter->table;
  for (;;) {
    if (converter->encodeShift == 0) copyInvariantRun<true>(in, inEnd, out, outEnd);
    if (*in == inEnd) return CONV_OK;
    if (*out == outEnd) return CONV_OUTPUT_FULL;
    Utf8Char c = readUtf8Short(*in, inEnd);
    if (c.length == 0) return CONV_INCOMPLETE;
    unsigned char bytes[3];
    bool substituted = false;
    std::uint8_t shift = converter->encodeShift;
    std::size_t n = encodeMixed(table, c.value, &shift, bytes, &substituted);
    if (n > static_cast<std::size_t>(outEnd - *out)) return CONV_OUTPUT_FULL;
    std::memcpy(*out, bytes, n);
    *out += n;
    *in += c.length;
    converter->encodeShift = shift;
    if (c.invalid) countSubstitution(converter);
    if (substituted) countSubstitution(converter);
  }
}

}  // namespace zel
