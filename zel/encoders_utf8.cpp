// The table-less engines: UTF-8 re-encoding (CT_UTF8) and the byte copy of
// the "OS" converter and of every type without an engine family.
#include <cstring>

#include "zel/encoders.h"
#include "zel/engine_frame.h"

namespace zel {

namespace {

// Shortest UTF-8 form of v; returns the byte count.
std::size_t writeUtf8(std::uint32_t v, unsigned char* b) {
  if (v < 0x80) {
    b[0] = static_cast<unsigned char>(v);
    return 1;
  }
  if (v < 0x800) {
    b[0] = static_cast<unsigned char>(0xC0 | (v >> 6));
    b[1] = static_cast<unsigned char>(0x80 | (v & 0x3F));
    return 2;
  }
  if (v < 0x10000) {
    b[0] = static_cast<unsigned char>(0xE0 | (v >> 12));
    b[1] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
    b[2] = static_cast<unsigned char>(0x80 | (v & 0x3F));
    return 3;
  }
  b[0] = static_cast<unsigned char>(0xF0 | (v >> 18));
  b[1] = static_cast<unsigned char>(0x80 | ((v >> 12) & 0x3F));
  b[2] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
  b[3] = static_cast<unsigned char>(0x80 | (v & 0x3F));
  return 4;
}

}  // namespace

ConvStatus encodeUtf8(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                      unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) return CONV_OK;  // UTF-8 has no shift state
  return convertCharacters<true>(
      converter, in, inEnd, out, outEnd,
      [](const unsigned char*& p, const unsigned char* pEnd, unsigned char*& q, unsigned char* qEnd) {
        if (*p >= 0x80) return false;
        copyAsciiRun(&p, pEnd, &q, qEnd);
        return true;
      },
      [](std::uint32_t u, unsigned char* q, std::ptrdiff_t room, bool*) {
        unsigned char bytes[4];
        return putIfRoom(bytes, writeUtf8(u, bytes), q, room);
      });
}

ConvStatus encodePassThrough(CodesetConverter* converter, const unsigned char** in,
                             const unsigned char* inEnd, unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) return resetShiftState(converter);
  std::size_t inLeft = static_cast<std::size_t>(inEnd - *in);
  std::size_t outLeft = static_cast<std::size_t>(outEnd - *out);
  std::size_t n = inLeft < outLeft ? inLeft : outLeft;
  if (n > 0) std::memcpy(*out, *in, n);
  *in += n;
  *out += n;
  return n == inLeft ? CONV_OK : CONV_OUTPUT_FULL;
}

}  // namespace zel
