// Our converters against the build host's iconv, on random text drawn from
// each generated codeset's mappable characters. Build hosts only: the
// Windows build has no iconv.
#if __has_include(<iconv.h>)
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "zel/convert.h"
#include "zel/converter_test_support.h"
#include "zel/ebcdic_invariant.h"

namespace {

using zeltest::hex;

struct Codeset {
  const char* table;
  const char* iconvName;
  bool ebcdic = false;
  bool supplementary = false;  // GB18030 maps the planes beyond the BMP
};

// Every generated table.
const Codeset CODESETS[] = {
    {"874", "CP874"},
    {"1250", "CP1250"},
    {"1251", "CP1251"},
    {"1252", "CP1252"},
    {"1253", "CP1253"},
    {"1254", "CP1254"},
    {"1255", "CP1255"},
    {"1256", "CP1256"},
    {"1257", "CP1257"},
    {"1258", "CP1258"},
    {"437", "CP437"},
    {"737", "CP737"},
    {"775", "CP775"},
    {"850", "CP850"},
    {"852", "CP852"},
    {"855", "CP855"},
    {"857", "CP857"},
    {"858", "CP858"},
    {"860", "CP860"},
    {"861", "CP861"},
    {"862", "CP862"},
    {"863", "CP863"},
    {"865", "CP865"},
    {"866", "CP866"},
    {"869", "CP869"},
    {"932", "CP932"},
    {"936", "CP936"},
    {"949", "CP949"},
    {"950", "CP950"},
    {"EUCKR", "EUC-KR"},
    {"EUCJP", "EUC-JP"},
    {"GB18030", "GB18030", false, true},
    {"IBM037", "IBM037", true},
    {"IBM273", "IBM273", true},
    {"IBM277", "IBM277", true},
    {"IBM278", "IBM278", true},
    {"IBM280", "IBM280", true},
    {"IBM284", "IBM284", true},
    {"IBM285", "IBM285", true},
    {"IBM297", "IBM297", true},
    {"IBM500", "IBM500", true},
    {"IBM871", "IBM871", true},
    {"IBM875", "IBM875", true},
    {"IBM1025", "IBM1025", true},
    {"IBM1026", "IBM1026", true},
    {"IBM1047", "IBM1047", true},
    {"IBM1140", "IBM1140", true},
    {"IBM1141", "IBM1141", true},
    {"IBM1142", "IBM1142", true},
    {"IBM1143", "IBM1143", true},
    {"IBM1144", "IBM1144", true},
    {"IBM1145", "IBM1145", true},
    {"IBM1146", "IBM1146", true},
    {"IBM1147", "IBM1147", true},
    {"IBM1148", "IBM1148", true},
    {"IBM1149", "IBM1149", true},
    {"IBM930", "IBM930", true},
    {"IBM933", "IBM933", true},
    {"IBM935", "IBM935", true},
    {"IBM937", "IBM937", true},
    {"IBM939", "IBM939", true},
};

// Test names show the table, not the record's bytes.
void PrintTo(const Codeset& codeset, std::ostream* os) {
  *os << codeset.table;
}

// glibc writes these six as two-byte codes; our formula gives four bytes.
const std::uint32_t GB_TWO_BYTE_SUPPLEMENTARY[] = {0x20087, 0x20089, 0x200CC, 0x215D7, 0x2298F, 0x241FE};

std::string utf8(std::uint32_t u) {
  std::string s;
  if (u < 0x80) {
    s += static_cast<char>(u);
  } else if (u < 0x800) {
    s += static_cast<char>(0xC0 | (u >> 6));
    s += static_cast<char>(0x80 | (u & 0x3F));
  } else if (u < 0x10000) {
    s += static_cast<char>(0xE0 | (u >> 12));
    s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (u >> 18));
    s += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (u & 0x3F));
  }
  return s;
}

// iconv's bytes for the whole UTF-8 text, closing shift included; false
// when iconv refuses any of it.
bool iconvConvert(const char* to, const std::string& text, std::string* result) {
  iconv_t cd = iconv_open(to, "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string out(text.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  char* o = out.data();
  size_t outLeft = out.size();
  bool ok = iconv(cd, &in, &inLeft, &o, &outLeft) != static_cast<size_t>(-1) &&
            iconv(cd, nullptr, nullptr, &o, &outLeft) != static_cast<size_t>(-1);
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  *result = out;
  return ok;
}

// What iconv writes for each BMP character alone. Worked out once per page
// and kept, as the page's tests share it.
struct Repertoire {
  bool known = false;  // iconv knows the codeset
  std::vector<std::uint32_t> mappable, unmappable;
  std::array<int, 0x100> single;  // iconv's one byte for U+0000..U+00FF, or -1
};

std::string iconvAlone(iconv_t cd, std::uint32_t u) {
  char in[4] = {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16), 0};
  char out[16];
  char* ip = in;
  char* op = out;
  size_t il = 4, ol = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return "";
  if (iconv(cd, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1)) return "";
  return std::string(out, sizeof out - ol);
}

const Repertoire& repertoireOf(const Codeset& codeset) {
  static std::map<std::string, Repertoire> cache;
  auto found = cache.find(codeset.table);
  if (found != cache.end()) return found->second;
  Repertoire& r = cache[codeset.table];
  r.single.fill(-1);
  iconv_t cd = iconv_open(codeset.iconvName, "UTF-32LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) return r;
  r.known = true;
  for (std::uint32_t u = 0; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    std::string bytes = iconvAlone(cd, u);
    if (u > 0) (bytes.empty() ? r.unmappable : r.mappable).push_back(u);
    if (u < 0x100 && bytes.size() == 1) r.single[u] = static_cast<unsigned char>(bytes[0]);
  }
  iconv_close(cd);
  return r;
}

class Differential : public ::testing::TestWithParam<Codeset> {
 protected:
  void SetUp() override {
    zelDir_ = std::make_unique<zeltest::ScopedVariable>("ZELDIR", zeltest::generatedZelDir().c_str());
    // iconv's name is one of the page's usual names: the aliases lead to it.
    converter_ = zel::openCodeset(GetParam().iconvName);
    ASSERT_NE(converter_, nullptr) << "generated table " << GetParam().table;
    ASSERT_STREQ(converter_->name, GetParam().table);
    ASSERT_TRUE(repertoire().known) << "iconv knows " << GetParam().iconvName;
  }
  void TearDown() override { zeltest::releaseConverter(converter_); }

  const Repertoire& repertoire() const { return repertoireOf(GetParam()); }

  // The characters whose bytes differ from iconv's: LF and, where iconv
  // writes them otherwise, SO and SI.
  std::set<std::uint32_t> invariantExceptions() const {
    std::set<std::uint32_t> differ;
    if (!GetParam().ebcdic) return differ;
    for (std::uint32_t u : {0x0Au, 0x0Eu, 0x0Fu})
      if (repertoire().single[u] != zel::unicodeToEbcdic[u]) differ.insert(u);
    return differ;
  }

  zel::CodesetConverter* converter_ = nullptr;
  std::unique_ptr<zeltest::ScopedVariable> zelDir_;
};

// Every character that iconv maps, once each in a shuffled order, with ASCII,
// line ends (and for GB18030 supplementary characters) between them so that
// double-byte runs open and close, as one text.
TEST_P(Differential, WholeRepertoireGivesIconvBytes) {
  std::set<std::uint32_t> exceptions = invariantExceptions();
  std::vector<std::uint32_t> characters = repertoire().mappable;
  std::mt19937 rng(12345);
  std::shuffle(characters.begin(), characters.end(), rng);
  auto usable = [&](std::uint32_t u) {
    for (std::uint32_t s : GB_TWO_BYTE_SUPPLEMENTARY)
      if (u == s) return false;
    return !exceptions.count(u);
  };
  std::string text;
  for (std::uint32_t u : characters) {
    if (usable(u)) text += utf8(u);
    std::uint32_t ascii = 0x20 + rng() % 0x5F;  // plenty of ASCII, as real text has
    if (rng() % 3 == 0 && repertoire().single[ascii] >= 0 && usable(ascii)) text += static_cast<char>(ascii);
    if (rng() % 40 == 0) text += '\n';
    std::uint32_t supplementary = 0x10000 + rng() % 0x100000;
    if (GetParam().supplementary && rng() % 8 == 0 && usable(supplementary)) text += utf8(supplementary);
  }
  std::string expected;
  ASSERT_TRUE(iconvConvert(GetParam().iconvName, text, &expected));
  // iconv writes LF as 0x25 in EBCDIC, where no other character (nor any
  // byte of a double-byte character) has that byte; ours is NL.
  if (GetParam().ebcdic) std::replace(expected.begin(), expected.end(), '\x25', '\x15');
  converter_->substitutions = 0;
  std::string ours = zeltest::convertAll(converter_, text);
  auto differ = std::mismatch(ours.begin(), ours.end(), expected.begin(), expected.end());
  std::size_t at = static_cast<std::size_t>(differ.first - ours.begin());
  std::size_t from = at > 8 ? at - 8 : 0;
  ASSERT_EQ(ours.size(), expected.size()) << "first difference at byte " << at;
  ASSERT_EQ(at, ours.size()) << hex(ours.substr(from, 16)) << " vs " << hex(expected.substr(from, 16));
  EXPECT_EQ(converter_->substitutions, 0);
}

// Unmappable characters between mappable ones, in a text long enough for the
// engines' fast paths: each becomes the page's '?' where iconv writes the
// text with '?' in its place, and is counted once.
TEST_P(Differential, UnmappableCharactersGiveTheSubstitutionByteAndCount) {
  const std::vector<std::uint32_t>& unmappable = repertoire().unmappable;
  if (unmappable.empty()) GTEST_SKIP() << "every BMP character maps";
  std::set<std::uint32_t> exceptions = invariantExceptions();
  const std::vector<std::uint32_t>& mappable = repertoire().mappable;
  std::mt19937 rng(777);
  std::string text, questioned;
  for (int i = 0; i < 3000; ++i) {
    std::uint32_t m = mappable[rng() % mappable.size()];
    if (exceptions.count(m)) m = 'A';
    std::uint32_t u = unmappable[rng() % unmappable.size()];
    text += utf8(m) + utf8(u);
    questioned += utf8(m) + "?";
  }
  std::string expected;
  ASSERT_TRUE(iconvConvert(GetParam().iconvName, questioned, &expected));
  converter_->substitutions = 0;
  std::string ours = zeltest::convertAll(converter_, text);
  auto differ = std::mismatch(ours.begin(), ours.end(), expected.begin(), expected.end());
  std::size_t at = static_cast<std::size_t>(differ.first - ours.begin());
  std::size_t from = at > 8 ? at - 8 : 0;
  ASSERT_EQ(ours.size(), expected.size()) << "first difference at byte " << at;
  ASSERT_EQ(at, ours.size()) << hex(ours.substr(from, 16)) << " vs " << hex(expected.substr(from, 16));
  EXPECT_EQ(converter_->substitutions, 3000);
}

class DifferentialEbcdic : public Differential {};

// The deliberate differences from iconv, on every EBCDIC page: LF is NL
// (0x15), SO and SI are the shift codes, whatever the page's table says.
// Every other invariant character takes the page's byte, as the whole
// repertoire shows.
TEST_P(DifferentialEbcdic, LineEndAndShiftCodesKeepTheirBuiltInBytes) {
  for (std::uint32_t u : {0x0Au, 0x0Eu, 0x0Fu}) {
    std::string ours = zeltest::convertAll(converter_, utf8(u));
    ASSERT_FALSE(ours.empty());
    EXPECT_EQ(static_cast<unsigned char>(ours[0]), zel::unicodeToEbcdic[u]) << std::hex << u;
  }
}

// A name in the aliases file that leads nowhere falls back to pass-through.
TEST(DifferentialAliases, EveryAliasNamesAGeneratedTable) {
  zeltest::ScopedVariable zelDir("ZELDIR", zeltest::generatedZelDir().c_str());
  std::ifstream aliases(zeltest::generatedZelDir() + "/codeset/aliases");
  ASSERT_TRUE(aliases.is_open());
  std::string line;
  int count = 0;
  while (std::getline(aliases, line)) {
    std::istringstream fields(line);
    std::string name, table;
    if (line.empty() || line[0] == '#' || !(fields >> name >> table)) continue;
    zel::CodesetConverter* converter = zel::openCodeset(name.c_str());
    ASSERT_NE(converter, nullptr) << name;
    EXPECT_EQ(std::string(converter->name), table) << name;
    zeltest::releaseConverter(converter);
    ++count;
  }
  EXPECT_GT(count, 100);
}

INSTANTIATE_TEST_SUITE_P(GeneratedCodesets, Differential, ::testing::ValuesIn(CODESETS),
                         [](const ::testing::TestParamInfo<Codeset>& info) {
                           return std::string("cs") + info.param.table;
                         });

std::vector<Codeset> ebcdicCodesets() {
  std::vector<Codeset> ebcdic;
  for (const Codeset& codeset : CODESETS)
    if (codeset.ebcdic) ebcdic.push_back(codeset);
  return ebcdic;
}
INSTANTIATE_TEST_SUITE_P(GeneratedCodesets, DifferentialEbcdic, ::testing::ValuesIn(ebcdicCodesets()),
                         [](const ::testing::TestParamInfo<Codeset>& info) {
                           return std::string("cs") + info.param.table;
                         });

TEST(DifferentialGb18030, SixSupplementaryCharactersFollowTheFormula) {
  zeltest::ScopedVariable zelDir("ZELDIR", zeltest::generatedZelDir().c_str());
  zel::CodesetConverter* gb = zel::openCodeset("GB18030");
  ASSERT_NE(gb, nullptr);
  for (std::uint32_t u : GB_TWO_BYTE_SUPPLEMENTARY) {
    std::uint32_t n = u + 123464;
    std::string expected(4, '\0');
    expected[3] = static_cast<char>(0x30 + n % 10);
    n /= 10;
    expected[2] = static_cast<char>(0x81 + n % 126);
    n /= 126;
    expected[1] = static_cast<char>(0x30 + n % 10);
    expected[0] = static_cast<char>(0x81 + n / 10);
    std::string glibc;
    ASSERT_TRUE(iconvConvert("GB18030", utf8(u), &glibc));
    EXPECT_EQ(glibc.size(), 2u) << "glibc's two-byte code for " << std::hex << u;
    EXPECT_EQ(hex(zeltest::convertAll(gb, utf8(u))), hex(expected)) << std::hex << u;
  }
  zeltest::releaseConverter(gb);
}

}  // namespace
#endif
