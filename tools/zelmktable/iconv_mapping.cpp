// Asks iconv for every BMP character on its own, resetting the state before
// each one so stateful codesets give the character's complete bytes.
#include "iconv_mapping.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace zelmktable {

namespace {

std::string convertOne(iconv_t cd, unsigned u) {
  char in[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF), 0, 0};
  char out[32];
  char* inPtr = in;
  size_t inLeft = sizeof in;
  char* outPtr = out;
  size_t outLeft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return {};
  if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<size_t>(-1)) return {};
  return std::string(out, sizeof out - outLeft);
}

}  // namespace

bool readIconvMapping(const std::string& iconvName, IconvMapping* mapping, std::string* error) {
  iconv_t cd = iconv_open(iconvName.c_str(), "UTF-32LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the tool runs on one thread
    *error = "iconv does not know " + iconvName + ": " + std::strerror(errno);
    return false;
  }
  mapping->bytes.assign(0x10000, std::string());
  for (unsigned u = 0; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    mapping->bytes[u] = convertOne(cd, u);
  }
  iconv_close(cd);
  return true;
}

}  // namespace zelmktable
