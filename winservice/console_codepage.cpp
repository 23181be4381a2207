#include "winservice/console_codepage.h"

#include <cstring>

namespace zaq {

namespace {

constexpr unsigned CODE_PAGE_UTF8 = 65001;

struct NamedCodePage {
  const char* name;
  unsigned codePage;
};

// Codesets whose table name is not their Windows code page number. Windows
// numbers some EBCDIC pages 20000 above IBM's, and the mixed ones 50000
// above; IsValidCodePage decides whether this Windows converts them.
constexpr NamedCodePage NAMED_CODE_PAGES[] = {
    {"UTF8", CODE_PAGE_UTF8}, {"OS", CODE_PAGE_UTF8}, {"GB18030", 54936}, {"EUCJP", 20932},
    {"EUCKR", 51949},         {"IBM273", 20273},      {"IBM277", 20277},  {"IBM278", 20278},
    {"IBM280", 20280},        {"IBM284", 20284},      {"IBM285", 20285},  {"IBM297", 20297},
    {"IBM871", 20871},        {"IBM1025", 21025},     {"IBM930", 50930},  {"IBM933", 50933},
    {"IBM935", 50935},        {"IBM937", 50937},      {"IBM939", 50939},
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
  // The other EBCDIC pages keep IBM's number: IBM037 is code page 37.
  if (std::strncmp(name, "IBM", 3) == 0) return decimalCodePage(name + 3);
  return decimalCodePage(name);
}

}  // namespace zaq
