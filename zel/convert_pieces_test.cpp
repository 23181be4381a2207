// Converting in random-sized pieces, resumed after CONV_OUTPUT_FULL and
// CONV_INCOMPLETE, gives the bytes of one call, for every generated codeset.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/text_cases.h"
#include "zel/convert.h"
#include "zel/converter_test_support.h"
#include "zel/locale.h"
#include "zel/zel_state.h"

namespace {

const char* const TABLES[] = {"1250",  "1251",    "1252",   "932",     "936",    "949",    "950",
                              "EUCJP", "GB18030", "IBM037", "IBM1047", "IBM930", "IBM939", "UTF8"};

// Text mixing ASCII, Latin, Cyrillic, kana, CJK, supplementary characters
// and stray bytes; it ends on a whole character.
std::string mixedText(std::mt19937& rng) {
  static const char* const pieces[] = {"Hello ",
                                       "caf\xC3\xA9 ",
                                       "\xD0\x9F\xD1\x80\xD0\xB8",
                                       "\xE3\x81\x82\xE3\x81\x84",
                                       "\xE6\xBC\xA2\xE5\xAD\x97",
                                       "\xEF\xBD\xB1",
                                       "\xF0\x9F\x98\x80",
                                       "\xF0\xA0\x80\x80",
                                       "\x80",
                                       "\xE2\x82\xAC",
                                       "\n",
                                       "[!]",
                                       "\xC0\x80",
                                       "\xE4\xB8\x80\xE4\xB8\x81",
                                       "\xEA\xB0\x80"};
  std::string text;
  for (int i = 0; i < 400; ++i) text += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
  return text + "end";
}

std::string convertInPieces(zel::CodesetConverter* converter, const std::string& text, std::mt19937& rng) {
  std::string result, pending;
  std::size_t taken = 0;
  for (;;) {
    std::size_t k = 1 + rng() % 17;
    if (taken < text.size()) {
      pending += text.substr(taken, k);
      taken += k;
    }
    zel::ConvStatus status;
    do {
      char buffer[16];
      char* out = buffer;
      std::size_t room = 4 + rng() % 9;
      std::size_t outCount = room, inCount = pending.size();
      const char* in = pending.data();
      status = zel::convFromUtf8(converter, &in, &inCount, &out, &outCount);
      result.append(buffer, room - outCount);
      pending.erase(0, pending.size() - inCount);
    } while (status == zel::CONV_OUTPUT_FULL);
    if (taken >= text.size()) break;  // the text ends on a whole character
  }
  return result + zeltest::convertAll(converter, "");
}

TEST(ConvertInPieces, SameBytesAsOneCall) {
  zeltest::ScopedVariable zelDir("ZELDIR", zeltest::generatedZelDir().c_str());
  std::mt19937 rng(2024);
  for (const char* table : TABLES) {
    zel::CodesetConverter* converter = zel::openCodeset(table);
    ASSERT_NE(converter, nullptr) << table;
    for (int round = 0; round < 3; ++round) {
      std::string text = mixedText(rng);
      converter->substitutions = 0;
      std::string whole = zeltest::convertAll(converter, text);
      std::uint16_t wholeCount = converter->substitutions;
      converter->substitutions = 0;
      std::string pieces = convertInPieces(converter, text, rng);
      EXPECT_TRUE(pieces == whole) << table << " round " << round << ": " << pieces.size()
                                   << " bytes in pieces, " << whole.size() << " in one call";
      EXPECT_EQ(converter->substitutions, wholeCount) << table;
      EXPECT_GT(whole.size(), text.size() / 4) << table;
    }
    zeltest::releaseConverter(converter);
  }
}

// The redirect file names its table in ASCII, whatever the current codeset.
TEST(ConvertInPieces, AliasesAndRedirectOfTheGeneratedData) {
  zeltest::ScopedVariable zelDir("ZELDIR", zeltest::generatedZelDir().c_str());
  const zaq_test::TextCase cases[] = {{"windows-1252", "1252"}, {"Shift_JIS", "932"}, {"GBK", "936"},
                                      {"Big5", "950"},          {"EUC-JP", "EUCJP"},  {"IBM-037", "IBM037"},
                                      {"cp1047", "IBM1047"},    {"IBM-1252", "1252"}};
  for (const char* current : {"UTF-8", "IBM037", "IBM930"}) {
    zeltest::resetStartup();
    zeltest::ScopedVariable codeset("ZEL_CODESET", current);
    zel::zelInitialize();
    EXPECT_STREQ(zel::currentConverter()->name, current == std::string("UTF-8") ? "UTF8" : current);
    for (const auto& c : cases) {
      zel::CodesetConverter* converter = zel::openCodeset(c.input);
      EXPECT_NE(converter, nullptr) << c.input << " under " << current;
      if (converter == nullptr) continue;
      EXPECT_STREQ(converter->name, c.expected) << c.input << " under " << current;
      zeltest::releaseConverter(converter);
    }
  }
  zeltest::resetStartup();
}

}  // namespace
