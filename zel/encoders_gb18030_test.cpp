#include <gtest/gtest.h>

#include "zel/codeset_table_builder.h"
#include "zel/converter_test_support.h"

namespace {

using zel::tablebuild::GbRanges;
using zel::tablebuild::TableHeader;
using zeltest::bytes;
using zeltest::convertOnce;
using zeltest::hex;

std::int32_t twoByteIndex(int b1, int b2) {
  return (b1 - 0x81) * 191 + (b2 - 0x40) + 1;
}

// U+00E9 is A8 A6 and U+20AC is A2 E3 (kind 1); U+0080 up to U+00A3 runs
// from 81 30 81 30 (kind 2); U+0100 is the single byte 0x80; nothing else.
std::vector<unsigned char> gbTable() {
  std::vector<std::int32_t> index(0x10000, -1);
  for (unsigned u = 0x80; u <= 0xA3; ++u) index[u] = static_cast<std::int32_t>(24067 + (u - 0x80));
  index[0xE9] = twoByteIndex(0xA8, 0xA6);
  index[0x20AC] = twoByteIndex(0xA2, 0xE3);
  index[0x100] = -2 - 0x80;
  GbRanges ranges = zel::tablebuild::gbRangesFromIndexes(index);
  return zel::tablebuild::buildGbTable(TableHeader{"G", zel::CT_GB18030, 0, 0x1A, 0x1A}, ranges,
                                       zeltest::noDecoding());
}

TEST(Gb18030Encoder, RangesSupplementaryPlanesAndSubstitution) {
  struct Case {
    std::string input, expected;
    unsigned substitutions;
  } cases[] = {
      {"A", "A", 0},
      {bytes({0xF0, 0x90, 0x80, 0x80}), bytes({0x90, 0x30, 0x81, 0x30}), 0},
      {bytes({0xF4, 0x8F, 0xBF, 0xBF}), bytes({0xE3, 0x32, 0x9A, 0x35}), 0},
      {bytes({0xF0, 0x9F, 0x98, 0x80}), bytes({0x94, 0x39, 0xFC, 0x36}), 0},
      {bytes({0xF4, 0x90, 0x80, 0x80}), "?", 1},
      {bytes({0xF7, 0xBF, 0xBF, 0xBF}), "?", 1},
      {bytes({0xC2, 0x80}), bytes({0x81, 0x30, 0x81, 0x30}), 0},
      {bytes({0xC2, 0xA3}), bytes({0x81, 0x30, 0x84, 0x35}), 0},
      {bytes({0xC3, 0xA9}), bytes({0xA8, 0xA6}), 0},
      {bytes({0xE2, 0x82, 0xAC}), bytes({0xA2, 0xE3}), 0},
      {bytes({0xC4, 0x80}), bytes({0x80}), 0},
      {bytes({0xC3, 0xA8}), "?", 1},        // between records of its block
      {bytes({0xE4, 0xB8, 0x80}), "?", 1},  // a block without records
      {bytes({0x80, 0xF8}), "??", 2},
      {bytes({0xC1, 0x81}), "A", 0},
  };
  for (const auto& c : cases) {
    auto image = gbTable();
    zel::CodesetConverter converter = zeltest::converterOver(image);
    zeltest::Converted r = convertOnce(&converter, c.input);
    EXPECT_EQ(r.status, zel::CONV_OK);
    EXPECT_EQ(hex(r.bytes), hex(c.expected)) << hex(c.input);
    EXPECT_EQ(converter.substitutions, c.substitutions) << hex(c.input);
  }
}

TEST(Gb18030Encoder, MultiByteResultNeedsAllItsRoom) {
  auto image = gbTable();
  zel::CodesetConverter converter = zeltest::converterOver(image);
  zeltest::Converted r = convertOnce(&converter, bytes({0xC3, 0xA9}), 1);
  EXPECT_EQ(r.status, zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(r.consumed, 0u);
  r = convertOnce(&converter, bytes({0xF0, 0x90, 0x80, 0x80}), 3);
  EXPECT_EQ(r.status, zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(r.bytes, "");
  r = convertOnce(&converter, bytes({0xF0, 0x90, 0x80}));
  EXPECT_EQ(r.status, zel::CONV_INCOMPLETE);
  EXPECT_EQ(r.consumed, 0u);
}

// Hand-made extension: D = records, directory, values, at fixed places.
std::vector<unsigned char> handMadeGb(const std::vector<zel::tablebuild::GbRecord>& records,
                                      std::uint16_t firstRecordOfBlock0,
                                      const std::vector<std::uint16_t>& values) {
  std::vector<unsigned char> image =
      zel::tablebuild::buildHeader(TableHeader{"H", zel::CT_GB18030, 0, 0x1A, 0x1A}, zeltest::noDecoding());
  std::vector<std::uint16_t> d;
  for (const auto& r : records) d.insert(d.end(), {r.start, r.end, r.kind, r.base});
  std::uint32_t directory = static_cast<std::uint32_t>(d.size());
  d.push_back(firstRecordOfBlock0);
  for (int b = 1; b < 128; ++b) d.push_back(static_cast<std::uint16_t>(records.size() - 1));
  std::uint32_t valuesAt = static_cast<std::uint32_t>(d.size());
  d.insert(d.end(), values.begin(), values.end());
  std::size_t e = image.size();
  image.resize(e + 32 + 2 * d.size(), 0);
  zel::tablebuild::putLe32(image, e + 4, directory);
  zel::tablebuild::putLe32(image, e + 8, valuesAt);
  for (std::size_t i = 0; i < d.size(); ++i) zel::tablebuild::putLe16(image, e + 32 + 2 * i, d[i]);
  zel::tablebuild::putLe16(image, zel::TABLE_GB_EXTENSION_OFFSET, static_cast<std::uint32_t>(e));
  return image;
}

TEST(Gb18030Encoder, RecordKindsAndSixteenBitRecordPosition) {
  std::vector<zel::tablebuild::GbRecord> records = {
      {0x80, 0x80, 2, 1},         // record 0: index 1, 81 40
      {0x80, 0x8F, 1, 0},         // record 1: values
      {0x90, 0x90, 7, 0x141},     // record 2: one byte, 0x41 + 0
      {0xFFFF, 0xFFFF, 0, 0x3F},  // end
  };
  std::vector<std::uint16_t> values(16, 2);
  values[1] = 0;  // kind-1 index 0: one byte, (base + 1) & 0xFF
  struct Case {
    std::uint16_t first;
    std::string input, expected;
  } cases[] = {
      {0, bytes({0xC2, 0x80}), bytes({0x81, 0x40})},
      // 0x4001 x 4 in 16 bits is 4: record 1.
      {0x4001, bytes({0xC2, 0x80}), bytes({0x81, 0x41})},
      {0x4001, bytes({0xC2, 0x81}), bytes({0x01})},
      {0, bytes({0xC2, 0x90}), bytes({0x41})},
  };
  for (const auto& c : cases) {
    auto image = handMadeGb(records, c.first, values);
    ASSERT_TRUE(zel::codesetTableIsSound(image.data(), image.size()));
    zel::CodesetConverter converter = zeltest::converterOver(image);
    EXPECT_EQ(hex(convertOnce(&converter, c.input).bytes), hex(c.expected)) << c.first << " " << hex(c.input);
  }
}

}  // namespace
