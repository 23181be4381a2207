#include "winservice/console_codepage.h"

#include <gtest/gtest.h>

namespace {

// The console converts the texts from the code page of their codeset: a wrong
// or missing number shows other characters than the catalog's.
TEST(ConsoleCodePage, TheWindowsCodePageOfEachCodeset) {
  // Every generated table's name, then names without a code page.
  struct Case {
    const char* codeset;
    unsigned codePage;
  } cases[] = {
      {"874", 874},      {"1250", 1250},     {"1251", 1251},    {"1252", 1252},
      {"1253", 1253},    {"1254", 1254},     {"1255", 1255},    {"1256", 1256},
      {"1257", 1257},    {"1258", 1258},     {"437", 437},      {"737", 737},
      {"775", 775},      {"850", 850},       {"852", 852},      {"855", 855},
      {"857", 857},      {"858", 858},       {"860", 860},      {"861", 861},
      {"862", 862},      {"863", 863},       {"865", 865},      {"866", 866},
      {"869", 869},      {"932", 932},       {"936", 936},      {"949", 949},
      {"950", 950},      {"EUCKR", 51949},   {"EUCJP", 20932},  {"GB18030", 54936},
      {"UTF8", 65001},   {"OS", 65001},      {"IBM037", 37},    {"IBM500", 500},
      {"IBM875", 875},   {"IBM1026", 1026},  {"IBM1047", 1047}, {"IBM1140", 1140},
      {"IBM1141", 1141}, {"IBM1142", 1142},  {"IBM1143", 1143}, {"IBM1144", 1144},
      {"IBM1145", 1145}, {"IBM1146", 1146},  {"IBM1147", 1147}, {"IBM1148", 1148},
      {"IBM1149", 1149}, {"IBM273", 20273},  {"IBM277", 20277}, {"IBM278", 20278},
      {"IBM280", 20280}, {"IBM284", 20284},  {"IBM285", 20285}, {"IBM297", 20297},
      {"IBM871", 20871}, {"IBM1025", 21025}, {"IBM930", 50930}, {"IBM933", 50933},
      {"IBM935", 50935}, {"IBM937", 50937},  {"IBM939", 50939}, {"65001", 65001},
      {"65536", 0},      {"123456", 0},      {"", 0},           {"IBM", 0},
      {"12a", 0},        {"utf8", 0},        {"EBCDIC", 0},     {nullptr, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(zaq::codePageOfCodeset(c.codeset), c.codePage) << (c.codeset != nullptr ? c.codeset : "null");
}

}  // namespace
