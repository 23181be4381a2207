// The frame every character-converting engine runs in: the end checks, the
// engine's fast run, one character read from UTF-8 and encoded, and the
// substitution count. Header-only so that each engine's loop inlines its
// run and its encoder.
#pragma once

#include <cstddef>
#include <cstring>

#include "zel/converters.h"
#include "zel/utf8_reader.h"

namespace zel {

// The reset of an engine whose only state is the shift state.
inline ConvStatus resetShiftState(CodesetConverter* converter) {
  converter->encodeShift = 0;
  return CONV_OK;
}

// Converts from *in to *out until the input ends, the output is full or the
// input ends inside a sequence. run(p, inEnd, q, outEnd) is given each turn
// with input and room left; it may take a run of characters it knows, and
// returns true to have the frame check the ends and call it again, false to
// have the character at p read (the four-byte form when FULL_FORM, else the
// three-byte one) and encoded: encode(u, q, room, &substituted) writes the
// character's bytes when they all fit and returns their count, or -1 with
// nothing written when they do not.
template <bool FULL_FORM, typename Run, typename Encode>
ConvStatus convertCharacters(CodesetConverter* converter, const unsigned char** in,
                             const unsigned char* inEnd, unsigned char** out, unsigned char* outEnd, Run run,
                             Encode encode) {
  const unsigned char* p = *in;
  unsigned char* q = *out;
  ConvStatus status;
  for (;;) {
    if (p == inEnd) {
      status = CONV_OK;
      break;
    }
    if (q == outEnd) {
      status = CONV_OUTPUT_FULL;
      break;
    }
    if (run(p, inEnd, q, outEnd)) continue;
    Utf8Char c = readUtf8<FULL_FORM>(p, inEnd);
    if (c.length == 0) {
      status = CONV_INCOMPLETE;
      break;
    }
    bool substituted = false;
    std::ptrdiff_t n = encode(c.value, q, outEnd - q, &substituted);
    if (n < 0) {
      status = CONV_OUTPUT_FULL;
      break;
    }
    q += n;
    p += c.length;
    // An invalid lead byte counts once as read, and again if '?' itself is unmapped.
    if (c.invalid) countSubstitution(converter);
    if (substituted) countSubstitution(converter);
  }
  *in = p;
  *out = q;
  return status;
}

// The bytes of a character built aside (count bytes at bytes), written when
// they fit in room: the encode result convertCharacters takes.
inline std::ptrdiff_t putIfRoom(const unsigned char* bytes, std::size_t count, unsigned char* q,
                                std::ptrdiff_t room) {
  if (static_cast<std::ptrdiff_t>(count) > room) return -1;
  std::memcpy(q, bytes, count);
  return static_cast<std::ptrdiff_t>(count);
}

// The run of the engines whose bytes 0x00-0x7F are ASCII: ASCII bytes are
// copied without table access, anything else is offered to fast(), which
// may advance p and q over a run of the engine's commonest characters
// (whole sequences, mapped, fitting), writing exactly what the engine's
// encoder would. False when a character for the encoder is at p.
template <typename Fast>
bool takeAsciiOrFastRun(const unsigned char*& p, const unsigned char* inEnd, unsigned char*& q,
                        unsigned char* outEnd, Fast fast) {
  if (*p < 0x80) {
    *q++ = *p++;
    if (p != inEnd && q != outEnd && *p < 0x80) copyAsciiRun(&p, inEnd, &q, outEnd);
    return true;
  }
  fast();
  return p == inEnd || q == outEnd || *p < 0x80;
}

// The fast run of the double-byte, multi-byte and GB18030 engines: ASCII
// bytes and three-byte sequences with lead bytes below leadEnd, through one
// read of the BMP index where the converter has one, else codeOf(u).
template <typename CodeOf>
void takeIndexedRun(CodesetConverter* converter, const unsigned char*& p, const unsigned char* inEnd,
                    unsigned char*& q, unsigned char* outEnd, unsigned leadEnd, CodeOf codeOf) {
  if (const std::uint16_t* codes = converter->bmpCodes) {
    addSubstitutions(converter,
                     takeAsciiAndThreeByteRun(p, inEnd, q, outEnd, leadEnd, [codes](std::uint32_t u) {
                       return codes[u];  // u < 0x10000: three-byte values
                     }));
    return;
  }
  addSubstitutions(converter, takeAsciiAndThreeByteRun(p, inEnd, q, outEnd, leadEnd, codeOf));
}

}  // namespace zel
