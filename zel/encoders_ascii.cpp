// Table encoders for the codesets whose bytes 0x00-0x7F are ASCII: single-byte
// (CT_SBCS), double-byte (CT_DBCS) and multi-byte with prefix records
// (CT_MBCS). ASCII runs are copied without table access.
#include <cstring>

#include "zel/codeset_tables.h"
#include "zel/encoders.h"
#include "zel/utf8_reader.h"

namespace zel {

namespace {

// The frame shared by the three engines: reset, ASCII runs, then one
// character at a time through encode(u, bytes) -> byte count (at most 16),
// written only when all its bytes fit. A substitution counts when written.
template <typename Encode>
int runAsciiBasedEngine(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                        unsigned char** out, unsigned char* outEnd, Encode encode) {
  if (*in == nullptr) {
    converter->encodeShift = 0;
    return CONV_OK;
  }
  for (;;) {
    copyAsciiRun(in, inEnd, out, outEnd);
    if (*in == inEnd) return CONV_OK;
    if (*out == outEnd) return CONV_OUTPUT_FULL;
    Utf8Char c = readUtf8Short(*in, inEnd);
    if (c.length == 0) return CONV_INCOMPLETE;
    unsigned char bytes[16];
    bool substituted = false;
    std::size_t n = encode(c.value, bytes, &substituted);
    if (n > static_cast<std::size_t>(outEnd - *out)) return CONV_OUTPUT_FULL;
    std::memcpy(*out, bytes, n);
    *out += n;
    *in += c.length;
    // An invalid lead byte counts once as read, and again if '?' itself is unmapped.
    if (c.invalid) countSubstitution(converter);
    if (substituted) countSubstitution(converter);
  }
}

}  // namespace

int encodeSbcs(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
               unsigned char** out, unsigned char* outEnd) {
  const unsigned char* table = converter->table;
  return runAsciiBasedEngine(
      converter, in, inEnd, out, outEnd,
      [table](std::uint32_t u, unsigned char* bytes, bool* substituted) -> std::size_t {
        unsigned char b = encodingRow(table, u >> 8)[u & 0xFF];
        if (b == table[kTableSubByteOffset] && !(u == readLe16(table + kTableSubCharOffset) && u != 0xFFFF)) {
          b = '?';
          *substituted = true;
        }
        bytes[0] = b;
        return 1;
      });
}

int encodeDbcs(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
               unsigned char** out, unsigned char* outEnd) {
  const unsigned char* table = converter->table;
  return runAsciiBasedEngine(
      converter, in, inEnd, out, outEnd,
      [table](std::uint32_t u, unsigned char* bytes, bool* substituted) -> std::size_t {
        std::uint16_t v = readLe16(encodingRow(table, u >> 8) + 2 * (u & 0xFF));
        if (v == 0xFFFF) {
          v = '?';
          *substituted = true;
        }
        if (v < 0x100) {
          bytes[0] = static_cast<unsigned char>(v);
          return 1;
        }
        bytes[0] = static_cast<unsigned char>(v >> 8);
        bytes[1] = static_cast<unsigned char>(v & 0xFF);
        return 2;
      });
}

int encodeMbcs(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
               unsigned char** out, unsigned char* outEnd) {
  const unsigned char* table = converter->table;
  const unsigned char* mapping = table + readLe32(table);
  return runAsciiBasedEngine(
      converter, in, inEnd, out, outEnd,
      [table, mapping](std::uint32_t u, unsigned char* bytes, bool* substituted) -> std::size_t {
        const unsigned char* pair = encodingRow(table, u >> 8) + 4 * (u & 0xFF);
        std::uint16_t prefix = readLe16(pair), v = readLe16(pair + 2);
        if (v < 0x100) {
          bytes[0] = static_cast<unsigned char>(v);
          return 1;
        }
        if (prefix == 0xFFFF) {
          bytes[0] = '?';
          *substituted = true;
          return 1;
        }
        const unsigned char* record = mapping + kPrefixRecordSize * prefix;
        std::size_t n = readLe16(record + kPrefixMaxLength);  // at most 14, checked at load
        std::memcpy(bytes, record, n);
        bytes[n] = static_cast<unsigned char>(v >> 8);
        bytes[n + 1] = static_cast<unsigned char>(v & 0xFF);
        return n + 2;
      });
}

}  // namespace zel
