#include "winservice/console_codepage.h"

#include <gtest/gtest.h>

namespace {

// The console converts the texts from the code page of their codeset: a wrong
// or missing number shows other characters than the catalog's.
TEST(ConsoleCodePage, TheWindowsCodePageOfEachCodeset) {
  struct Case {
    const char* codeset;
    unsigned codePage;
  } cases[] = {
      {"1252", 1252},     {"850", 850},     {"932", 932},   {"UTF8", 65001},   {"OS", 65001},
      {"GB18030", 54936}, {"EUCJP", 20932}, {"IBM037", 37}, {"IBM1047", 1047}, {"65001", 65001},
      {"65536", 0},       {"123456", 0},    {"", 0},        {"IBM", 0},        {"12a", 0},
      {"utf8", 0},        {"EBCDIC", 0},    {nullptr, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(zaq::codePageOfCodeset(c.codeset), c.codePage) << (c.codeset != nullptr ? c.codeset : "null");
}

}  // namespace
