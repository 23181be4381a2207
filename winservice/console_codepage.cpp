#include "winservice/console_codepage.h"

#include <cstring>

namespace zaq {

namespace {

constexpr unsigned CODE_PAGE_UTF8 = 65001;

struct NamedCodePage {
  const char* name;
  unsigned codePage;
};

// Codesets whose table name is not their Windows code page number.
constexpr NamedCodePage NAMED_CODE_PAGES[] = {
    {"UTF8", CODE_PAGE_UTF8},
    {"OS", CODE_PAGE_UTF8},
    {"GB18030", 54936},
    {"EUCJP", 20932},
};

// A code page number of one to five digits, up to 65535; 0 for anything else.
unsigned decimalCodePage(const char* digits) {
  unsigned value = 0;
  std::size_t count = 0;
  for (; digits[count] != '\0'; ++count) {
    if (count == 5 || digits[count] < '0' || digits[count] > '9') return 0;
    value = value * 10 + static_cast<unsigned>(digits[count] - '0');
  }
  return count > 0 && value <= 0xFFFF ? value : 0;
}

}  // namespace

unsigned codePageOfCodeset(const char* name) {
  if (name == nullptr) return 0;
  for (const NamedCodePage& entry : NAMED_CODE_PAGES)
    if (std::strcmp(name, entry.name) == 0) return entry.codePage;
  // IBM037 and IBM1047 are Windows' EBCDIC code pages 37 and 1047.
  if (std::strncmp(name, "IBM", 3) == 0) return decimalCodePage(name + 3);
  return decimalCodePage(name);
}

}  // namespace zaq
