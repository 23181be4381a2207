// The two UTF-8 readers shared by the engines, and the ASCII run copy that
// their fast paths use. Header-only so the engines' loops can inline them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zel/converters.h"

namespace zel {

// A value read from UTF-8, or why none was: length 0 means the input ended
// inside the sequence (CONV_INCOMPLETE).
struct Utf8Char {
  std::uint32_t value;
  std::size_t length;
  bool invalid;  // a stray or impossible lead byte, read as '?'
};

// Full form: lead bytes up to F7 start sequences of up to four bytes. The
// following bytes are not checked and overlong forms keep their value.
inline Utf8Char readUtf8Full(const unsigned char* p, const unsigned char* end) {
  std::size_t left = static_cast<std::size_t>(end - p);
  unsigned b = p[0];
  if (b < 0x80) return {b, 1, false};
  if ((b & 0xE0) == 0xC0) {
    if (left < 2) return {0, 0, false};
    return {((b & 0x1Fu) << 6) | (p[1] & 0x3Fu), 2, false};
  }
  if ((b & 0xF0) == 0xE0) {
    if (left < 3) return {0, 0, false};
    return {((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu), 3, false};
  }
  if ((b & 0xF8) == 0xF0) {
    if (left < 4) return {0, 0, false};
    return {((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu), 4, false};
  }
  return {'?', 1, true};
}

// Three-byte form, for the 16-bit tables: every lead byte from E0 up starts a
// three-byte sequence, so a four-byte sequence reads as a character plus a
// stray continuation byte.
inline Utf8Char readUtf8Short(const unsigned char* p, const unsigned char* end) {
  std::size_t left = static_cast<std::size_t>(end - p);
  unsigned b = p[0];
  if (b < 0x80) return {b, 1, false};
  if ((b & 0xE0) == 0xC0) {
    if (left < 2) return {0, 0, false};
    return {((b & 0x1Fu) << 6) | (p[1] & 0x3Fu), 2, false};
  }
  if (b >= 0xE0) {
    if (left < 3) return {0, 0, false};
    return {((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu), 3, false};
  }
  return {'?', 1, true};
}

// Copies the run of ASCII bytes at *in, as far as both buffers allow, many
// bytes at a time. The bytes written are exactly the bytes read, and nothing
// is written past the end of the run.
inline void copyAsciiRun(const unsigned char** in, const unsigned char* inEnd, unsigned char** out,
                         unsigned char* outEnd) {
  const unsigned char* p = *in;
  unsigned char* q = *out;
  std::size_t inLeft = static_cast<std::size_t>(inEnd - p);
  std::size_t outLeft = static_cast<std::size_t>(outEnd - q);
  std::size_t n = inLeft < outLeft ? inLeft : outLeft;
  const unsigned char* stop = p + n;
  constexpr std::uint64_t kHigh = 0x8080808080808080ull;
  // Long runs 64 bytes a step in four 16-byte vectors: twice the speed of
  // words, and a pure-ASCII text is nearly all this loop.
  using Vector = std::uint64_t __attribute__((vector_size(16)));
  while (static_cast<std::size_t>(stop - p) >= 64) {
    Vector a, b, c, d;
    std::memcpy(&a, p, 16);
    std::memcpy(&b, p + 16, 16);
    std::memcpy(&c, p + 32, 16);
    std::memcpy(&d, p + 48, 16);
    Vector any = (a | b) | (c | d);
    if ((any[0] | any[1]) & kHigh) break;
    std::memcpy(q, &a, 16);
    std::memcpy(q + 16, &b, 16);
    std::memcpy(q + 32, &c, 16);
    std::memcpy(q + 48, &d, 16);
    p += 64;
    q += 64;
  }
  while (static_cast<std::size_t>(stop - p) >= 8) {
    std::uint64_t a;
    std::memcpy(&a, p, 8);
    std::uint64_t high = a & kHigh;
    if (high != 0) {
      // The bytes before the first non-ASCII one, found from the mask.
      int k =
          (std::endian::native == std::endian::little ? std::countr_zero(high) : std::countl_zero(high)) / 8;
      for (int i = 0; i < k; ++i) *q++ = *p++;
      *in = p;
      *out = q;
      return;
    }
    std::memcpy(q, &a, 8);
    p += 8;
    q += 8;
  }
  while (p < stop && *p < 0x80) *q++ = *p++;
  *in = p;
  *out = q;
}

// One substitution more; the counter wraps at 65536.
inline void countSubstitution(CodesetConverter* converter) {
  converter->substitutions = static_cast<std::uint16_t>(converter->substitutions + 1);
}

}  // namespace zel
