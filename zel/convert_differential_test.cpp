// Our converters against the build host's iconv, on random text drawn from
// each generated codeset's mappable characters. Build hosts only: the
// Windows build has no iconv.
#if __has_include(<iconv.h>)
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <map>
#include <memory>
#include <ostream>
#include <random>
#include <set>

#include "zel/convert.h"
#include "zel/converter_test_support.h"
#include "zel/ebcdic_invariant.h"

namespace {

using zeltest::hex;

struct Codeset {
  const char* table;
  const char* iconvName;
  bool ebcdic;
  bool supplementary;  // GB18030 maps the planes beyond the BMP
};

const Codeset kCodesets[] = {
    {"1250", "CP1250", false, false},    {"1251", "CP1251", false, false},
    {"1252", "CP1252", false, false},    {"932", "CP932", false, false},
    {"936", "CP936", false, false},      {"949", "CP949", false, false},
    {"950", "CP950", false, false},      {"EUCJP", "EUC-JP", false, false},
    {"GB18030", "GB18030", false, true}, {"IBM037", "IBM037", true, false},
    {"IBM1047", "IBM1047", true, false}, {"IBM930", "IBM930", true, false},
    {"IBM939", "IBM939", true, false},
};

// Test names show the table, not the record's bytes.
void PrintTo(const Codeset& codeset, std::ostream* os) {
  *os << codeset.table;
}

// glibc writes these six as two-byte codes; our formula gives four bytes.
const std::uint32_t kGbTwoByteSupplementary[] = {0x20087, 0x20089, 0x200CC, 0x215D7, 0x2298F, 0x241FE};

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

class Differential : public ::testing::TestWithParam<Codeset> {
 protected:
  void SetUp() override {
    zelDir_ = std::make_unique<zeltest::ScopedVariable>("ZELDIR", zeltest::generatedZelDir().c_str());
    converter_ = zel::openCodeset(GetParam().table);
    ASSERT_NE(converter_, nullptr) << "generated table " << GetParam().table;
    cd_ = iconv_open(GetParam().iconvName, "UTF-32LE");
    ASSERT_NE(cd_, reinterpret_cast<iconv_t>(-1));
    for (std::uint32_t u = 0; u < 0x10000; ++u) {
      if (u >= 0xD800 && u <= 0xDFFF) continue;
      std::string bytes = iconvAlone(u);
      if (u > 0) (bytes.empty() ? unmappable_ : mappable_).push_back(u);
      if (bytes.size() == 1) single_[u] = static_cast<unsigned char>(bytes[0]);
    }
  }
  void TearDown() override {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
    zeltest::releaseConverter(converter_);
  }

  std::string iconvAlone(std::uint32_t u) {
    char in[4] = {static_cast<char>(u), static_cast<char>(u >> 8), static_cast<char>(u >> 16), 0};
    char out[16];
    char* ip = in;
    char* op = out;
    size_t il = 4, ol = sizeof out;
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd_, &ip, &il, &op, &ol) == static_cast<size_t>(-1)) return "";
    if (iconv(cd_, nullptr, nullptr, &op, &ol) == static_cast<size_t>(-1)) return "";
    return std::string(out, sizeof out - ol);
  }

  // True for the characters whose byte differs from iconv's by design: LF is
  // NL (0x15) where iconv writes 0x25, and SO/SI stay 0E/0F.
  static bool keptInvariant(std::uint32_t u) { return u == '\n' || u == 0x0E || u == 0x0F; }

  // Invariant characters that the page has no single byte for, or that keep
  // the built-in byte by design although iconv's differs: our bytes differ
  // from iconv's only here.
  std::set<std::uint32_t> invariantExceptions() {
    std::set<std::uint32_t> differ;
    if (!GetParam().ebcdic) return differ;
    for (std::uint32_t u = 0; u < 0x100; ++u) {
      auto found = single_.find(u);
      if (zel::unicodeInvariantChars[u] &&
          (found == single_.end() || (keptInvariant(u) && found->second != zel::unicodeToEbcdic[u])))
        differ.insert(u);
    }
    return differ;
  }

  std::uint32_t randomMappable(std::mt19937& rng, const std::set<std::uint32_t>& excluded) {
    std::uniform_int_distribution<std::size_t> pick(0, mappable_.size() - 1);
    for (;;) {
      std::uint32_t u = mappable_[pick(rng)];
      if (rng() % 3 == 0) u = 0x20 + rng() % 0x5F;  // plenty of ASCII, as real text has
      if (rng() % 40 == 0) u = '\n';
      if (GetParam().supplementary && rng() % 8 == 0) u = 0x10000 + rng() % 0x100000;
      bool special = false;
      for (std::uint32_t s : kGbTwoByteSupplementary) special |= GetParam().supplementary && u == s;
      if ((u == '\n' || !excluded.count(u)) && !special) return u;
    }
  }

  zel::CodesetConverter* converter_ = nullptr;
  iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
  std::unique_ptr<zeltest::ScopedVariable> zelDir_;
  std::vector<std::uint32_t> mappable_, unmappable_;
  std::map<std::uint32_t, unsigned char> single_;
};

TEST_P(Differential, RandomMappableTextGivesIconvBytes) {
  std::set<std::uint32_t> exceptions = invariantExceptions();
  std::mt19937 rng(12345);
  for (int round = 0; round < 4; ++round) {
    std::string text;
    for (int i = 0; i < 600; ++i) text += utf8(randomMappable(rng, exceptions));
    std::string expected;
    ASSERT_TRUE(iconvConvert(GetParam().iconvName, text, &expected));
    // iconv writes LF as 0x25 in EBCDIC, where no other character (nor any
    // byte of a double-byte character) has that byte; ours is NL.
    if (GetParam().ebcdic) std::replace(expected.begin(), expected.end(), '\x25', '\x15');
    converter_->substitutions = 0;
    std::string ours = zeltest::convertAll(converter_, text);
    ASSERT_EQ(ours.size(), expected.size()) << GetParam().table;
    for (std::size_t i = 0; i < ours.size(); ++i)
      ASSERT_EQ(static_cast<unsigned char>(ours[i]), static_cast<unsigned char>(expected[i]))
          << GetParam().table << " at byte " << i << ": " << hex(ours.substr(i > 8 ? i - 8 : 0, 16)) << " vs "
          << hex(expected.substr(i > 8 ? i - 8 : 0, 16));
    EXPECT_EQ(converter_->substitutions, 0);
  }
}

TEST_P(Differential, UnmappableCharactersGiveTheSubstitutionByteAndCount) {
  if (unmappable_.empty()) GTEST_SKIP() << "every BMP character maps";
  const char question = GetParam().ebcdic ? '\x6F' : '?';
  std::mt19937 rng(777);
  std::uniform_int_distribution<std::size_t> pick(0, unmappable_.size() - 1);
  for (int i = 0; i < 300; ++i) {
    std::uint32_t u = unmappable_[pick(rng)];
    converter_->substitutions = 0;
    std::string ours = zeltest::convertAll(converter_, "A" + utf8(u) + "A");
    std::string a = GetParam().ebcdic ? std::string(1, '\xC1') : "A";
    EXPECT_EQ(hex(ours), hex(a + question + a)) << std::hex << u;
    EXPECT_EQ(converter_->substitutions, 1) << std::hex << u;
  }
}

class DifferentialEbcdic : public Differential {};

// The page's own byte wins where it has one (code page 930 puts katakana
// where the others have the lowercase letters), except for LF and SO/SI; the
// built-in byte stands where the page has none.
TEST_P(DifferentialEbcdic, InvariantCharactersFollowThePage) {
  std::set<std::uint32_t> exceptions = invariantExceptions();
  for (std::uint32_t u = 0; u < 0x80; ++u) {
    if (!zel::unicodeInvariantChars[u]) continue;
    unsigned char expected = exceptions.count(u) ? zel::unicodeToEbcdic[u] : single_[u];
    std::string ours = zeltest::convertAll(converter_, utf8(u));
    ASSERT_FALSE(ours.empty());
    EXPECT_EQ(static_cast<unsigned char>(ours[0]), expected) << std::hex << u;
  }
  EXPECT_EQ(hex(zeltest::convertAll(converter_, "\n")), "15");
  std::string letters = zeltest::convertAll(converter_, "abc xyz");
  std::string iconvLetters;
  ASSERT_TRUE(iconvConvert(GetParam().iconvName, "abc xyz", &iconvLetters));
  EXPECT_EQ(hex(letters), hex(iconvLetters));
}

INSTANTIATE_TEST_SUITE_P(GeneratedCodesets, Differential, ::testing::ValuesIn(kCodesets),
                         [](const ::testing::TestParamInfo<Codeset>& info) {
                           return std::string("cs") + info.param.table;
                         });

const Codeset kEbcdicCodesets[] = {kCodesets[9], kCodesets[10], kCodesets[11], kCodesets[12]};
INSTANTIATE_TEST_SUITE_P(GeneratedCodesets, DifferentialEbcdic, ::testing::ValuesIn(kEbcdicCodesets),
                         [](const ::testing::TestParamInfo<Codeset>& info) {
                           return std::string("cs") + info.param.table;
                         });

TEST(DifferentialGb18030, SixSupplementaryCharactersFollowTheFormula) {
  zeltest::ScopedVariable zelDir("ZELDIR", zeltest::generatedZelDir().c_str());
  zel::CodesetConverter* gb = zel::openCodeset("GB18030");
  ASSERT_NE(gb, nullptr);
  for (std::uint32_t u : kGbTwoByteSupplementary) {
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
