// The build host's iconv mapping of every BMP character into one codeset.
#pragma once

#include <string>
#include <vector>

namespace zelmktable {

// For each Unicode value 0..0xFFFF, the bytes iconv writes for it alone
// (shift sequences included, after its closing reset), or empty when iconv
// has no mapping. Surrogates are never mapped.
struct IconvMapping {
  std::vector<std::string> bytes;
};

// False, with a message in error, when iconv does not know the codeset.
bool readIconvMapping(const std::string& iconvName, IconvMapping* mapping, std::string* error);

}  // namespace zelmktable
