// Table encoders for the codesets whose bytes 0x00-0x7F are ASCII: single-byte
// (CT_SBCS), double-byte (CT_DBCS) and multi-byte with prefix records
// (CT_MBCS). ASCII runs are copied without table access.
#include <array>
#include <bit>
#include <cstring>

#include "zel/codeset_tables.h"
#include "zel/encoders.h"
#include "zel/engine_frame.h"

namespace zel {

namespace {

// The table parts an engine reads, located once per call. Values are kept
// in locals so that writing output bytes cannot force them to be reloaded.
struct Rows {
  const unsigned char* mapping;  // R
  const unsigned char* index;    // the encode row index
  const unsigned char* row(std::uint32_t u) const { return mapping + 4u * readLe16(index + 2 * (u >> 8)); }
};

Rows rowsOf(const unsigned char* table) {
  return {table + readLe32(table), table + TABLE_ROW_INDEX_OFFSET};
}

// The code of u in the direct-index form (encoders.h) that the fast path
// takes. Double-byte rows hold it as it is: 0xFFFF is unmapped in both, and
// the code FF FE, equal to BMP_CODE_GENERAL, is left to the general path.
std::uint16_t dbcsCode(const Rows& rows, std::uint32_t u) {
  return readLe16(rows.row(u) + 2 * (u & 0xFF));
}

// Multi-byte values with prefix bytes, and the code FF FF, are left to the
// general path.
std::uint16_t mbcsCode(const Rows& rows, std::uint32_t u) {
  const unsigned char* pair = rows.row(u) + 4 * (u & 0xFF);
  std::uint16_t prefix = readLe16(pair), v = readLe16(pair + 2);
  if (v < 0x100) return v;
  if (prefix == 0xFFFF) return BMP_CODE_UNMAPPED;
  if (readLe16(rows.mapping + PREFIX_RECORD_SIZE * prefix + PREFIX_MAX_LENGTH) != 0) return BMP_CODE_GENERAL;
  return v == BMP_CODE_UNMAPPED ? BMP_CODE_GENERAL : v;
}

// The frame of the three engines: the reset, then ASCII bytes and the
// engine's fast run (fast(p, inEnd, q, outEnd)), then one character at a
// time through encode (see convertCharacters).
template <typename Encode, typename Fast>
ConvStatus runAsciiBasedEngine(CodesetConverter* converter, const unsigned char** in,
                               const unsigned char* inEnd, unsigned char** out, unsigned char* outEnd,
                               Encode encode, Fast fast) {
  if (*in == nullptr) return resetShiftState(converter);
  return convertCharacters<false>(
      converter, in, inEnd, out, outEnd,
      [fast](const unsigned char*& p, const unsigned char* pEnd, unsigned char*& q, unsigned char* qEnd) {
        return takeAsciiOrFastRun(p, pEnd, q, qEnd, [&] { fast(p, pEnd, q, qEnd); });
      },
      encode);
}

// low: the converter's bytes of U+0000 to U+07FF, all that two-byte
// sequences reach, in one array: one read a character instead of a row's
// and then its entry.
ConvStatus encodeSbcsWith(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                          unsigned char** out, unsigned char* outEnd, const unsigned char* low) {
  const unsigned char* table = converter->table;
  const Rows rows = rowsOf(table);
  const unsigned char subByte = table[TABLE_SUB_BYTE_OFFSET];
  const std::uint16_t subChar = readLe16(table + TABLE_SUB_CHAR_OFFSET);
  return runAsciiBasedEngine(
      converter, in, inEnd, out, outEnd,
      [rows, subByte, subChar](std::uint32_t u, unsigned char* q, std::ptrdiff_t, bool* substituted) {
        unsigned char b = rows.row(u)[u & 0xFF];
        if (b == subByte && !(u == subChar && u != 0xFFFF)) {
          b = '?';
          *substituted = true;
        }
        *q = b;  // one byte always fits
        return std::ptrdiff_t{1};
      },
      [low, subByte](const unsigned char*& p, const unsigned char* pEnd, unsigned char*& q,
                     unsigned char* qEnd) {
        // Text of a Latin, Greek or Cyrillic page: short ASCII runs between
        // two-byte sequences. Two sequences at a time where the text allows,
        // checked with one eight-byte read.
        auto mapped = [low](std::uint32_t u) { return low[u]; };  // u < 0x800
        for (;;) {
          std::size_t n = charactersThatFit(p, pEnd, q, qEnd, 2, 1);
          if (n == 0) return;
          do {
            if constexpr (std::endian::native == std::endian::little) {
              // n >= 4: at least eight input bytes left.
              while (n >= 4) {
                std::uint64_t w;
                std::memcpy(&w, p, 8);
                if ((w & 0x80) == 0) {
                  if ((w & 0x8080) == 0 && pEnd - p >= 40 && qEnd - q >= 16) {
                    // A run, copied as eight bytes so that its length takes
                    // no branch. The bytes written past it are covered by
                    // the characters after it before the engine returns: the
                    // 32 or more input bytes left give a byte for at most
                    // three read, and output full means the output's last
                    // byte was written.
                    std::memcpy(q, &w, 8);
                    std::uint64_t high = w & 0x8080808080808080ull;
                    std::size_t k = high == 0 ? 8 : static_cast<std::size_t>(std::countr_zero(high)) / 8;
                    p += k;
                    q += k;
                    n -= k < n ? k : n - 1;  // n - 1 >= 1 still fit, as far as both ends are
                    continue;
                  }
                  *q++ = static_cast<unsigned char>(w);
                  ++p;
                  --n;
                  continue;
                }
                if ((w & 0xC0E0C0E0u) != 0x80C080C0u) break;
                unsigned char m1 =
                    mapped(static_cast<std::uint32_t>(((w & 0x1Fu) << 6) | ((w >> 8) & 0x3Fu)));
                unsigned char m2 =
                    mapped(static_cast<std::uint32_t>(((w >> 10) & 0x7C0u) | ((w >> 24) & 0x3Fu)));
                if (m1 == subByte || m2 == subByte) break;
                q[0] = m1;
                q[1] = m2;
                q += 2;
                p += 4;
                n -= 2;
              }
            }
            unsigned b = p[0];
            if (b < 0x80) {
              *q++ = static_cast<unsigned char>(b);
              ++p;
              continue;
            }
            if ((b & 0xE0) != 0xC0) return;
            unsigned char m = mapped(((b & 0x1Fu) << 6) | (p[1] & 0x3Fu));
            if (m == subByte) return;
            *q++ = m;
            p += 2;
          } while (--n != 0);
        }
      });
}

}  // namespace

ConvStatus encodeSbcs(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                      unsigned char** out, unsigned char* outEnd) {
  if (converter->sbcsLowBytes != nullptr)
    return encodeSbcsWith(converter, in, inEnd, out, outEnd, converter->sbcsLowBytes);
  std::array<unsigned char, SBCS_LOW_COUNT> low;
  buildSbcsLowBytes(converter, low.data());
  return encodeSbcsWith(converter, in, inEnd, out, outEnd, low.data());
}

namespace {

// The double-byte and multi-byte engines: encode as for runAsciiBasedEngine,
// and the fast run through the BMP index or code(rows, u).
template <typename Encode>
ConvStatus runRowsEngine(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                         unsigned char** out, unsigned char* outEnd, Encode encode,
                         std::uint16_t (*code)(const Rows&, std::uint32_t)) {
  const Rows rows = rowsOf(converter->table);
  return runAsciiBasedEngine(
      converter, in, inEnd, out, outEnd,
      [rows, encode](std::uint32_t u, unsigned char* q, std::ptrdiff_t room, bool* substituted) {
        return encode(rows, u, q, room, substituted);
      },
      [converter, rows, code](const unsigned char*& p, const unsigned char* pEnd, unsigned char*& q,
                              unsigned char* qEnd) {
        takeIndexedRun(converter, p, pEnd, q, qEnd, 0x100,
                       [rows, code](std::uint32_t u) { return code(rows, u); });
      });
}

}  // namespace

ConvStatus encodeDbcs(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                      unsigned char** out, unsigned char* outEnd) {
  return runRowsEngine(
      converter, in, inEnd, out, outEnd,
      [](const Rows& rows, std::uint32_t u, unsigned char* q, std::ptrdiff_t room, bool* substituted) {
        std::uint16_t v = dbcsCode(rows, u);
        if (v == 0xFFFF) {
          v = '?';
          *substituted = true;
        }
        if (v < 0x100) {
          *q = static_cast<unsigned char>(v);
          return std::ptrdiff_t{1};
        }
        if (room < 2) return std::ptrdiff_t{-1};
        q[0] = static_cast<unsigned char>(v >> 8);
        q[1] = static_cast<unsigned char>(v & 0xFF);
        return std::ptrdiff_t{2};
      },
      dbcsCode);
}

ConvStatus encodeMbcs(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                      unsigned char** out, unsigned char* outEnd) {
  return runRowsEngine(
      converter, in, inEnd, out, outEnd,
      [](const Rows& rows, std::uint32_t u, unsigned char* q, std::ptrdiff_t room, bool* substituted) {
        const unsigned char* pair = rows.row(u) + 4 * (u & 0xFF);
        std::uint16_t prefix = readLe16(pair), v = readLe16(pair + 2);
        if (v < 0x100) {
          *q = static_cast<unsigned char>(v);
          return std::ptrdiff_t{1};
        }
        if (prefix == 0xFFFF) {
          *q = '?';
          *substituted = true;
          return std::ptrdiff_t{1};
        }
        const unsigned char* record = rows.mapping + PREFIX_RECORD_SIZE * prefix;
        std::ptrdiff_t n = readLe16(record + PREFIX_MAX_LENGTH);  // at most 14, checked at load
        if (room < n + 2) return std::ptrdiff_t{-1};
        std::memcpy(q, record, static_cast<std::size_t>(n));
        q[n] = static_cast<unsigned char>(v >> 8);
        q[n + 1] = static_cast<unsigned char>(v & 0xFF);
        return n + 2;
      },
      mbcsCode);
}

void buildSbcsLowBytes(const CodesetConverter* converter, unsigned char* bytes) {
  const Rows rows = rowsOf(converter->table);
  for (std::uint32_t high = 0; high < SBCS_LOW_COUNT >> 8; ++high)
    std::memcpy(bytes + (high << 8), rows.row(high << 8), 0x100);
}

void buildAsciiBasedCodes(const CodesetConverter* converter, std::uint16_t* codes) {
  const Rows rows = rowsOf(converter->table);
  bool multiByte = converter->type == CT_MBCS;
  for (std::uint32_t high = 0; high < 0x100; ++high, codes += 0x100) {
    const unsigned char* row = rows.row(high << 8);
    if (!multiByte) {
      // A double-byte row is its own index row.
      for (std::uint32_t low = 0; low < 0x100; ++low) codes[low] = readLe16(row + 2 * low);
      continue;
    }
    for (std::uint32_t low = 0; low < 0x100; ++low) codes[low] = mbcsCode(rows, (high << 8) | low);
  }
}

}  // namespace zel
