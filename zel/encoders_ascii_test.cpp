#include <gtest/gtest.h>

#include "zel/codeset_table_builder.h"
#include "zel/converter_test_support.h"

namespace {

using zel::tablebuild::TableHeader;
using zeltest::bytes;
using zeltest::convertOnce;
using zeltest::hex;

// Every table maps 'A' (U+0041) to 'Z' in its rows: the engines must copy
// ASCII bytes without looking, while an overlong C1 81 goes through the row.
std::vector<unsigned char> sbcsTable(std::uint16_t subChar) {
  std::vector<std::uint32_t> entries(65536, 0x1A);
  for (unsigned u = 0; u < 0x80; ++u) entries[u] = u;
  entries['A'] = 'Z';
  entries[0xE9] = 0xE9;
  entries[0x20AC] = 0x80;
  entries[0x2603] = 0x1A;  // maps to the substitution byte, but is not the substitution character
  return zel::tablebuild::buildRowTable(TableHeader{"S", zel::CT_SBCS, 0, subChar, 0x1A}, entries, {},
                                        zeltest::noDecoding());
}

std::vector<unsigned char> dbcsTable() {
  std::vector<std::uint32_t> entries(65536, 0xFFFF);
  for (unsigned u = 0; u < 0x80; ++u) entries[u] = u;
  entries['A'] = 'Z';
  entries[0x3042] = 0x82A0;
  entries[0xFF71] = 0xB1;
  return zel::tablebuild::buildRowTable(TableHeader{"D", zel::CT_DBCS, 0, 0x1A, 0x1A}, entries, {},
                                        zeltest::noDecoding());
}

std::vector<unsigned char> mbcsTable() {
  std::vector<std::uint32_t> entries(65536, 0xFFFFFFFFu);
  for (unsigned u = 0; u < 0x80; ++u) entries[u] = u;
  entries['A'] = 'Z';
  entries[0x3042] = 0x0000A4A2;  // empty prefix
  entries[0x4E02] = 0x0001B0A1;  // prefix 8F
  entries[0x4E03] = 0x0002C1C2;  // three prefix bytes
  entries[0x00E9] = 0x000100E9;  // below 0x100: one byte, prefix ignored
  entries[0x00EA] = 0xFFFF00EA;  // likewise, even with no prefix record
  std::vector<std::vector<unsigned char>> prefixes = {{}, {0x8F}, {0x1B, 0x24, 0x42}};
  return zel::tablebuild::buildRowTable(TableHeader{"M", zel::CT_MBCS, 0, 0x1A, 0x1A}, entries, prefixes,
                                        zeltest::noDecoding());
}

struct Case {
  std::string input, expected;
  unsigned substitutions;
};

void expectConversions(std::vector<unsigned char> image, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    zel::CodesetConverter converter = zeltest::converterOver(image);
    zeltest::Converted r = convertOnce(&converter, c.input);
    EXPECT_EQ(r.status, zel::CONV_OK) << hex(c.input);
    EXPECT_EQ(hex(r.bytes), hex(c.expected)) << hex(c.input);
    EXPECT_EQ(converter.substitutions, c.substitutions) << hex(c.input);
  }
}

// Rules every ASCII-based type shares.
const std::vector<Case> SHARED_CASES = {
    {"A plain line\n", "A plain line\n", 0},
    {bytes({0xC1, 0x81}), "Z", 0},               // overlong 'A' is looked up
    {bytes({0x80}), "?", 1},                     // stray continuation byte
    {bytes({0xF8, 'x', 'y', 'z'}), "?z", 1},     // F8 starts three bytes here: U+8E39, unmapped
    {bytes({0xF0, 0x9F, 0x98, 0x80}), "??", 2},  // three-byte character, then a stray byte
    {std::string(40, 'a') + bytes({0x80}) + "b", std::string(40, 'a') + "?b", 1},
};

TEST(SbcsEncoder, RowsAndSubstitution) {
  std::vector<Case> cases = SHARED_CASES;
  cases.insert(cases.end(), {
                                {bytes({0xC3, 0xA9}), bytes({0xE9}), 0},
                                {bytes({0xE2, 0x82, 0xAC}), bytes({0x80}), 0},
                                {bytes({0xE2, 0x98, 0x83}), "?", 1},      // maps to the substitution byte
                                {bytes({0xE4, 0xB8, 0x80}), "?", 1},      // unmapped
                                {bytes({0x1A}), bytes({0x1A}), 0},        // ASCII copy
                                {bytes({0xC0, 0x9A}), bytes({0x1A}), 0},  // the substitution character itself
                            });
  expectConversions(sbcsTable(0x1A), cases);
  // U+FFFF never counts as the substitution character.
  expectConversions(sbcsTable(0xFFFF), {{bytes({0xEF, 0xBF, 0xBF}), "?", 1}});
}

TEST(DbcsEncoder, RowsAndSubstitution) {
  std::vector<Case> cases = SHARED_CASES;
  cases.insert(cases.end(), {
                                {bytes({0xE3, 0x81, 0x82}), bytes({0x82, 0xA0}), 0},
                                {bytes({0xEF, 0xBD, 0xB1}), bytes({0xB1}), 0},
                                {bytes({0xE4, 0xB8, 0x80}), "?", 1},
                            });
  expectConversions(dbcsTable(), cases);
}

TEST(DbcsEncoder, DoubleByteNeedsTwoBytesOfRoom) {
  auto image = dbcsTable();
  zel::CodesetConverter converter = zeltest::converterOver(image);
  std::string input = "x" + bytes({0xE3, 0x81, 0x82});
  zeltest::Converted tight = convertOnce(&converter, input, 2);
  EXPECT_EQ(tight.status, zel::CONV_OUTPUT_FULL);
  EXPECT_EQ(tight.bytes, "x");
  EXPECT_EQ(tight.consumed, 1u);
  zeltest::Converted rest = convertOnce(&converter, input.substr(tight.consumed), 2);
  EXPECT_EQ(rest.status, zel::CONV_OK);
  EXPECT_EQ(hex(rest.bytes), "82 A0");
}

TEST(MbcsEncoder, PrefixRecordsAndSubstitution) {
  std::vector<Case> cases = SHARED_CASES;
  cases.insert(cases.end(), {
                                {bytes({0xE3, 0x81, 0x82}), bytes({0xA4, 0xA2}), 0},
                                {bytes({0xE4, 0xB8, 0x82}), bytes({0x8F, 0xB0, 0xA1}), 0},
                                {bytes({0xE4, 0xB8, 0x83}), bytes({0x1B, 0x24, 0x42, 0xC1, 0xC2}), 0},
                                {bytes({0xC3, 0xA9}), bytes({0xE9}), 0},
                                {bytes({0xC3, 0xAA}), bytes({0xEA}), 0},
                                {bytes({0xE4, 0xB8, 0x80}), "?", 1},
                            });
  expectConversions(mbcsTable(), cases);
}

TEST(MbcsEncoder, PrefixedCharacterNeedsAllItsBytesOfRoom) {
  auto image = mbcsTable();
  std::string input = bytes({0xE4, 0xB8, 0x82});
  for (std::size_t room = 1; room <= 3; ++room) {
    zel::CodesetConverter converter = zeltest::converterOver(image);
    zeltest::Converted r = convertOnce(&converter, input, room);
    EXPECT_EQ(r.status, room < 3 ? zel::CONV_OUTPUT_FULL : zel::CONV_OK) << room;
    EXPECT_EQ(r.consumed, room < 3 ? 0u : 3u) << room;
    EXPECT_EQ(r.bytes.size(), room < 3 ? 0u : 3u) << room;
  }
}

TEST(AsciiBasedEncoders, SequenceCutByTheInputEndIsIncomplete) {
  for (auto image : {sbcsTable(0x1A), dbcsTable(), mbcsTable()}) {
    zel::CodesetConverter converter = zeltest::converterOver(image);
    zeltest::Converted r = convertOnce(&converter, "ab" + bytes({0xE2, 0x82}));
    EXPECT_EQ(r.status, zel::CONV_INCOMPLETE);
    EXPECT_EQ(r.consumed, 2u);
    EXPECT_EQ(r.bytes, "ab");
    EXPECT_EQ(converter.substitutions, 0);
  }
}

TEST(AsciiBasedEncoders, SubstitutionCounterWraps) {
  auto image = sbcsTable(0x1A);
  zel::CodesetConverter converter = zeltest::converterOver(image);
  converter.substitutions = 65535;
  convertOnce(&converter, bytes({0x80, 0x80}));
  EXPECT_EQ(converter.substitutions, 1);
}

// The fast paths copy short ASCII runs as whole words: whatever the input
// is cut to and whatever room the output has, the bytes after those
// reported written keep what they held, and the bytes written are those of
// a conversion with ample room.
TEST(AsciiBasedEncoders, NothingChangesPastTheBytesReportedWritten) {
  std::string paragraph;
  for (int i = 0; i < 6; ++i)
    paragraph +=
        "ab" + bytes({0xC3, 0xA9}) + " cdefg" + bytes({0xE3, 0x81, 0x82}) + "hij" + bytes({0xC3, 0xA9});
  constexpr unsigned char UNTOUCHED = 0xEE;
  for (auto image : {sbcsTable(0x1A), dbcsTable(), mbcsTable()}) {
    zel::CodesetConverter whole = zeltest::converterOver(image);
    std::string expected = convertOnce(&whole, paragraph).bytes;
    for (std::size_t cut = 0; cut <= paragraph.size(); ++cut) {
      for (std::size_t room = 0; room <= expected.size() + 1; ++room) {
        std::vector<unsigned char> buffer(room + 16, UNTOUCHED);
        zel::CodesetConverter converter = zeltest::converterOver(image);
        const char* in = paragraph.data();
        std::size_t inCount = cut;
        char* out = reinterpret_cast<char*>(buffer.data());
        std::size_t outCount = room;
        zel::convFromUtf8(&converter, &in, &inCount, &out, &outCount);
        std::size_t written = room - outCount;
        ASSERT_LE(written, expected.size()) << cut << " " << room;
        EXPECT_EQ(std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(written)),
                  expected.substr(0, written))
            << cut << " " << room;
        std::size_t changed = written;
        while (changed < buffer.size() && buffer[changed] == UNTOUCHED) ++changed;
        EXPECT_EQ(changed, buffer.size())
            << "byte " << changed << " changed, cut " << cut << " room " << room;
      }
    }
  }
}

}  // namespace
