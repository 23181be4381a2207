// The two UTF-8 readers shared by the engines, and the ASCII run copy that
// their fast paths use. Header-only so the engines' loops can inline them.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zel/converters.h"
#include "zel/encoders.h"

namespace zel {

// A value read from UTF-8, or why none was: length 0 means the input ended
// inside the sequence (CONV_INCOMPLETE).
struct Utf8Char {
  std::uint32_t value;
  std::size_t length;
  bool invalid;  // a stray or impossible lead byte, read as '?'
};

// Full form (FULL_FORM): lead bytes up to F7 start sequences of up to four
// bytes. Three-byte form, for the 16-bit tables: every lead byte from E0 up
// starts a three-byte sequence, so a four-byte sequence reads as a character
// plus a stray continuation byte. The following bytes are not checked and
// overlong forms keep their value.
template <bool FULL_FORM>
Utf8Char readUtf8(const unsigned char* p, const unsigned char* end) {
  std::size_t left = static_cast<std::size_t>(end - p);
  unsigned b = p[0];
  if (b < 0x80) return {b, 1, false};
  if ((b & 0xE0) == 0xC0) {
    if (left < 2) return {0, 0, false};
    return {((b & 0x1Fu) << 6) | (p[1] & 0x3Fu), 2, false};
  }
  if (FULL_FORM ? (b & 0xF0) == 0xE0 : b >= 0xE0) {
    if (left < 3) return {0, 0, false};
    return {((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu), 3, false};
  }
  if (FULL_FORM && (b & 0xF8) == 0xF0) {
    if (left < 4) return {0, 0, false};
    return {((b & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu), 4, false};
  }
  return {'?', 1, true};
}

inline Utf8Char readUtf8Full(const unsigned char* p, const unsigned char* end) {
  return readUtf8<true>(p, end);
}
inline Utf8Char readUtf8Short(const unsigned char* p, const unsigned char* end) {
  return readUtf8<false>(p, end);
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
  constexpr std::uint64_t HIGH = 0x8080808080808080ull;
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
    if ((any[0] | any[1]) & HIGH) break;
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
    std::uint64_t high = a & HIGH;
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

// How many characters surely fit, when each takes at most inStep input and
// outStep output bytes.
inline std::size_t charactersThatFit(const unsigned char* p, const unsigned char* inEnd,
                                     const unsigned char* q, const unsigned char* outEnd, std::size_t inStep,
                                     std::size_t outStep) {
  std::size_t byInput = static_cast<std::size_t>(inEnd - p) / inStep;
  std::size_t byOutput = static_cast<std::size_t>(outEnd - q) / outStep;
  return byInput < byOutput ? byInput : byOutput;
}

// The value of the three-byte sequence in the low three bytes of w (read
// little-endian), whose lead and continuation bytes were checked.
inline std::uint32_t threeByteValue(std::uint64_t w) {
  return static_cast<std::uint32_t>(((w & 0x0F) << 12) | ((w >> 2) & 0xFC0) | ((w >> 16) & 0x3F));
}

// Writes a code of the direct-index form (encoders.h) other than
// BMP_CODE_GENERAL; returns the output's new end and counts a '?'.
inline unsigned char* putCode(unsigned char* q, std::uint32_t v, std::size_t& substitutions) {
  if (v == BMP_CODE_UNMAPPED) {
    ++substitutions;
    *q = '?';
    return q + 1;
  }
  if (v >= 0x100) {
    q[0] = static_cast<unsigned char>(v >> 8);
    q[1] = static_cast<unsigned char>(v & 0xFF);
    return q + 2;
  }
  *q = static_cast<unsigned char>(v);
  return q + 1;
}

// Text of a double- or multi-byte page: ASCII bytes and three-byte sequences,
// each written as code(u) gives (a 16-bit code of the direct-index form),
// until a character that code leaves to the engine's general path (which
// then takes it and everything after it), or a lead byte outside E0 to
// leadEnd - 1. Two characters at a time where the text allows: one
// eight-byte read checks both sequences, and when both give two-byte codes,
// the commonest case, their four bytes are stored at once after one check.
// Returns the number of substitutions made.
template <typename Code>
std::size_t takeAsciiAndThreeByteRun(const unsigned char*& p, const unsigned char* inEnd, unsigned char*& q,
                                     unsigned char* outEnd, unsigned leadEnd, Code code) {
  std::size_t substitutions = 0;
  for (;;) {
    std::size_t n = charactersThatFit(p, inEnd, q, outEnd, 3, 2);
    if (n == 0) return substitutions;
    do {
      if constexpr (std::endian::native == std::endian::little) {
        // n >= 4: at least twelve input bytes and eight output bytes left,
        // for an ASCII byte and the two characters after it; n stays above 0.
        while (n >= 4) {
          std::uint64_t w;
          std::memcpy(&w, p, 8);
          if ((w & 0x80) == 0) {
            // A blank before a word: its characters follow in the same step.
            *q++ = static_cast<unsigned char>(w);
            ++p;
            --n;
            w >>= 8;
            if ((w & 0x80) == 0) continue;
          }
          // A three-byte sequence, then either another one (taken
          // together) or an ASCII byte (taken with it): words and the
          // blanks between them without leaving the loop.
          if ((w & 0xC0C0F0C0C0F0ull) == 0x8080E08080E0ull) {
            std::uint32_t v1 = code(threeByteValue(w)), v2 = code(threeByteValue(w >> 24));
            // Both from 0x100 to 0xFFFD, in one comparison.
            if (std::max(v1 - 0x100, v2 - 0x100) < BMP_CODE_GENERAL - 0x100u) [[likely]] {
              std::uint32_t bytes = __builtin_bswap32((v1 << 16) | v2);
              std::memcpy(q, &bytes, 4);
              q += 4;
            } else {
              if (v1 == BMP_CODE_GENERAL || v2 == BMP_CODE_GENERAL) break;
              q = putCode(q, v1, substitutions);
              q = putCode(q, v2, substitutions);
            }
            p += 6;
            n -= 2;
            continue;
          }
          if ((w & 0xC0C0F0u) != 0x8080E0u) break;
          std::uint32_t v1 = code(threeByteValue(w));
          if (v1 == BMP_CODE_GENERAL) break;
          q = putCode(q, v1, substitutions);
          p += 3;
          --n;
          if ((w & 0x80000000u) == 0) {
            *q++ = static_cast<unsigned char>(w >> 24);
            ++p;
            --n;
          }
        }
      }
      unsigned b = p[0];
      if (b < 0x80) {
        *q++ = static_cast<unsigned char>(b);
        ++p;
        continue;
      }
      if (b < 0xE0 || b >= leadEnd) return substitutions;
      std::uint32_t u = ((b & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
      std::uint32_t v = code(u);
      if (v == BMP_CODE_GENERAL) return substitutions;
      q = putCode(q, v, substitutions);
      p += 3;
    } while (--n != 0);
  }
}

// One substitution more; the counter wraps at 65536.
inline void countSubstitution(CodesetConverter* converter) {
  converter->substitutions = static_cast<std::uint16_t>(converter->substitutions + 1);
}
inline void addSubstitutions(CodesetConverter* converter, std::size_t count) {
  converter->substitutions = static_cast<std::uint16_t>(converter->substitutions + count);
}

}  // namespace zel
