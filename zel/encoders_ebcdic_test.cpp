#include <gtest/gtest.h>

#include "zel/codeset_table_builder.h"
#include "zel/convert.h"
#include "zel/converter_test_support.h"
#include "zel/ebcdic_invariant.h"

namespace {

using zel::tablebuild::TableHeader;
using zeltest::bytes;
using zeltest::convertOnce;
using zeltest::hex;

// Rows leave most invariant characters unmapped, so their bytes come from
// the built-in table. The page's own byte for 'a' (katakana pages put the
// lowercase letters elsewhere) wins; its 0x25 for LF and its bytes for SO/SI
// do not. '!' differs between the two pages.
std::vector<unsigned char> ebcdicSbcsTable(unsigned char exclamation) {
  std::vector<std::uint32_t> entries(65536, 0x3F);
  entries['a'] = 0x62;
  entries['\n'] = 0x25;
  entries[0x0E] = 0x3E;
  entries[0x0F] = 0x3E;
  entries['!'] = exclamation;
  entries['['] = 0xBA;
  entries[0xE9] = 0x51;
  entries[0x1A] = 0x3F;  // the substitution character (also invariant)
  entries[0x2603] = 0x3F;
  // Type 1 with the EBCDIC scheme: the scheme decides.
  return zel::tablebuild::buildRowTable(TableHeader{"E", zel::CT_SBCS, zel::SCHEME_EBCDIC_SBCS, 0x1A, 0x3F},
                                        entries, {}, zeltest::noDecoding());
}

// As above; 'b' has a double-byte code, which is not a single byte to prefer.
std::vector<unsigned char> ebcdicMixedTable() {
  std::vector<std::uint32_t> entries(65536, 0xFFFF);
  entries['a'] = 0x62;
  entries['b'] = 0x4282;
  entries['\n'] = 0x25;
  entries[0x0E] = 0x3F;
  entries[0x0F] = 0x3F;
  entries[0x3042] = 0x4481;
  entries[0x3044] = 0x4483;
  entries[0xFF71] = 0x81;
  entries['!'] = 0x5A;
  return zel::tablebuild::buildRowTable(TableHeader{"X", zel::CT_EBCDIC_MIXED, 0, 0x1A, 0x3F}, entries, {},
                                        zeltest::noDecoding());
}

const std::string HIRAGANA_A = bytes({0xE3, 0x81, 0x82});  // U+3042, 44 81
const std::string HIRAGANA_I = bytes({0xE3, 0x81, 0x84});  // U+3044, 44 83
const std::string KANA = bytes({0xEF, 0xBD, 0xB1});        // U+FF71, single byte 81
const std::string SNOW = bytes({0xE2, 0x98, 0x83});        // U+2603, unmapped

TEST(EbcdicInvariantTable, HoldsTheInvariantSet) {
  int count = 0;
  for (int u = 0; u < 256; ++u) count += zel::unicodeInvariantChars[u] ? 1 : 0;
  EXPECT_EQ(count, 114);
  for (int u :
       {0x21, 0x22, 0x23, 0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E, 0x60, 0x7B, 0x7C, 0x7D, 0x7E, 0x80, 0xE9})
    EXPECT_FALSE(zel::unicodeInvariantChars[u]) << u;
}

TEST(EbcdicSbcsEncoder, InvariantCharactersTableAndSubstitution) {
  struct Case {
    std::string input, expected;
    unsigned substitutions;
  } cases[] = {
      {"Ab0 ", bytes({0xC1, 0x82, 0xF0, 0x40}), 0},
      {"ab\n", bytes({0x62, 0x82, 0x15}), 0},
      {bytes({0x0E, 0x0F}), bytes({0x0E, 0x0F}), 0},
      {"_?%", bytes({0x6D, 0x6F, 0x6C}), 0},
      {"[", bytes({0xBA}), 0},
      {bytes({0xC3, 0xA9}), bytes({0x51}), 0},
      {bytes({0x1A}), bytes({0x3F}), 0},
      {SNOW, bytes({0x6F}), 1},
      {bytes({0xE4, 0xB8, 0x80}), bytes({0x6F}), 1},
      {bytes({0x80}), bytes({0x6F}), 1},
      {bytes({0xF0, 0x9F, 0x98, 0x80}), bytes({0x6F, 0x6F}), 2},
  };
  for (const auto& c : cases) {
    auto image = ebcdicSbcsTable(0x5A);
    zel::CodesetConverter converter = zeltest::converterOver(image);
    ASSERT_EQ(converter.type, zel::CT_EBCDIC_SBCS);
    zeltest::Converted r = convertOnce(&converter, c.input);
    EXPECT_EQ(r.status, zel::CONV_OK);
    EXPECT_EQ(hex(r.bytes), hex(c.expected)) << hex(c.input);
    EXPECT_EQ(converter.substitutions, c.substitutions) << hex(c.input);
  }
}

TEST(EbcdicSbcsEncoder, PagesDifferOutsideTheInvariantSet) {
  auto page037 = ebcdicSbcsTable(0x5A);
  auto page1047 = ebcdicSbcsTable(0x4F);
  zel::CodesetConverter a = zeltest::converterOver(page037), b = zeltest::converterOver(page1047);
  EXPECT_EQ(hex(convertOnce(&a, "Aa!\n").bytes), "C1 62 5A 15");
  EXPECT_EQ(hex(convertOnce(&b, "Aa!\n").bytes), "C1 62 4F 15");
}

// One character per call, then the closing reset, collected.
std::string mixedInCalls(zel::CodesetConverter* converter, const std::vector<std::string>& pieces) {
  std::string out;
  for (const std::string& piece : pieces) {
    zeltest::Converted r = convertOnce(converter, piece);
    EXPECT_EQ(r.status, zel::CONV_OK);
    out += r.bytes;
  }
  return out + zeltest::convertAll(converter, "");
}

TEST(EbcdicMixedEncoder, ShiftOutAndShiftInPlacement) {
  struct Case {
    std::vector<std::string> pieces;
    std::string expected;
    unsigned substitutions;
  } cases[] = {
      {{"A" + HIRAGANA_A + "B"}, bytes({0xC1, 0x0E, 0x44, 0x81, 0x0F, 0xC2}), 0},
      {{HIRAGANA_A, HIRAGANA_I}, bytes({0x0E, 0x44, 0x81, 0x44, 0x83, 0x0F}), 0},
      {{"AB"}, bytes({0xC1, 0xC2}), 0},
      {{HIRAGANA_A + bytes({0x0E}) + HIRAGANA_I}, bytes({0x0E, 0x44, 0x81, 0x0F, 0x0E, 0x44, 0x83, 0x0F}), 0},
      {{HIRAGANA_A + SNOW + "A"}, bytes({0x0E, 0x44, 0x81, 0x0F, 0x6F, 0xC1}), 1},
      {{HIRAGANA_A + KANA}, bytes({0x0E, 0x44, 0x81, 0x0F, 0x81}), 0},
      {{"!" + HIRAGANA_A + "!"}, bytes({0x5A, 0x0E, 0x44, 0x81, 0x0F, 0x5A}), 0},
      {{bytes({0x0E}), "A"}, bytes({0x0E, 0x0F, 0xC1}), 0},
      {{"ab\n"}, bytes({0x62, 0x82, 0x15}), 0},
      {{HIRAGANA_A + "ab\n"}, bytes({0x0E, 0x44, 0x81, 0x0F, 0x62, 0x82, 0x15}), 0},
      {{HIRAGANA_A + "\n"}, bytes({0x0E, 0x44, 0x81, 0x0F, 0x15}), 0},
  };
  for (const auto& c : cases) {
    auto image = ebcdicMixedTable();
    zel::CodesetConverter converter = zeltest::converterOver(image);
    EXPECT_EQ(hex(mixedInCalls(&converter, c.pieces)), hex(c.expected)) << hex(c.pieces[0]);
    EXPECT_EQ(converter.substitutions, c.substitutions);
    EXPECT_EQ(converter.encodeShift, 0);
  }
}

TEST(EbcdicMixedEncoder, StateFollowsWhatWasWritten) {
  auto image = ebcdicMixedTable();
  zel::CodesetConverter converter = zeltest::converterOver(image);
  convertOnce(&converter, HIRAGANA_A + bytes({0x0E}));
  EXPECT_EQ(converter.encodeShift, 1) << "SO inside a run leaves it open";
  convertOnce(&converter, SNOW);
  EXPECT_EQ(converter.encodeShift, 0) << "an unmappable character closes the run";
}

TEST(EbcdicMixedEncoder, NothingIsWrittenWithoutRoomForTheWholeStep) {
  auto image = ebcdicMixedTable();
  zel::CodesetConverter converter = zeltest::converterOver(image);
  zeltest::Converted r = convertOnce(&converter, HIRAGANA_A, 2);
  EXPECT_EQ(r.status, zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(r.bytes, "");
  EXPECT_EQ(r.consumed, 0u);
  EXPECT_EQ(converter.encodeShift, 0);

  convertOnce(&converter, HIRAGANA_A);
  ASSERT_EQ(converter.encodeShift, 1);
  r = convertOnce(&converter, "A", 1);  // needs SI and the byte
  EXPECT_EQ(r.status, zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(r.consumed, 0u);
  EXPECT_EQ(converter.encodeShift, 1);

  char none[1];
  char* out = none;
  std::size_t outCount = 0, inCount = 0;
  const char* in = nullptr;
  EXPECT_EQ(zel::convFromUtf8(&converter, &in, &inCount, &out, &outCount), zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(converter.encodeShift, 1) << "a reset without room keeps the run open";
  EXPECT_EQ(zel::convFromUtf8(&converter, nullptr, nullptr, nullptr, nullptr), zel::CONV_OUTPUT_FULL)
      << "no output arguments: no room";
  EXPECT_EQ(converter.encodeShift, 1);
  EXPECT_EQ(zeltest::convertAll(&converter, ""), bytes({0x0F}));
  EXPECT_EQ(zeltest::convertAll(&converter, ""), "") << "no run open: the reset writes nothing";
}

TEST(EbcdicMixedEncoder, FromUtf8StringClosesTheRunBeforeTheTerminator) {
  auto image = ebcdicMixedTable();
  zel::CodesetConverter converter = zeltest::converterOver(image);
  char output[16];
  std::string text = "a\n" + HIRAGANA_A;
  EXPECT_EQ(zel::fromUtf8String(&converter, text.c_str(), -1, output, sizeof output), 7u);
  EXPECT_EQ(hex(std::string(output, 7)), "62 15 0E 44 81 0F 00");
}

}  // namespace
