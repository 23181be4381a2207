// The table-less engines: UTF-8 re-encoding (CT_UTF8) and the byte copy of
// the "OS" converter and of every type without an engine family.
#include <cstring>

#include "zel/encoders.h"
#include "zel/utf8_reader.h"

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

int encodeUtf8(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
               unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) return CONV_OK;  // UTF-8 has no shift state
  const unsigned char* p = *in;
  unsigned char* q = *out;
  int status;
  for (;;) {
    copyAsciiRun(&p, inEnd, &q, outEnd);
    if (p == inEnd) {
      status = CONV_OK;
      break;
    }
    if (q == outEnd) {
      status = CONV_OUTPUT_FULL;
      break;
    }
    Utf8Char c = readUtf8Full(p, inEnd);
    if (c.length == 0) {
      status = CONV_INCOMPLETE;
      break;
    }
    unsigned char bytes[4];
    std::size_t n = writeUtf8(c.value, bytes);
    if (n > static_cast<std::size_t>(outEnd - q)) {
      status = CONV_OUTPUT_FULL;
      break;
    }
    if (c.invalid) countSubstitution(converter);
    std::memcpy(q, bytes, n);
    q += n;
    p += c.length;
  }
  *in = p;
  *out = q;
  return status;
}

int encodePassThrough(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                      unsigned char** out, unsigned char* outEnd) {
  if (*in == nullptr) {
    converter->encodeShift = 0;
    return CONV_OK;
  }
  std::size_t inLeft = static_cast<std::size_t>(inEnd - *in);
  std::size_t outLeft = static_cast<std::size_t>(outEnd - *out);
  std::size_t n = inLeft < outLeft ? inLeft : outLeft;
  if (n > 0) std::memcpy(*out, *in, n);
  *in += n;
  *out += n;
  return n == inLeft ? CONV_OK : CONV_OUTPUT_FULL;
}

}  // namespace zel
