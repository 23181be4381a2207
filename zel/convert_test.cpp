#include "zel/convert.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "zel/converter_test_support.h"
#include "zel/zel_state.h"

namespace {

using zeltest::bytes;

TEST(FromUtf8String, TerminatorAndLengthRules) {
  struct Case {
    const char* input;
    std::ptrdiff_t length;
    std::size_t outputSize;
    std::size_t expectedCount;
    std::string expectedBytes;  // what the output holds afterwards (sentinel '#' where untouched)
  } cases[] = {
      {"abc", -1, 1, 1, std::string("\0###", 4)},    {"abc", -1, 0, 0, "####"},   {"abc", 3, 10, 3, "abc#"},
      {"abc", -1, 10, 4, std::string("abc\0", 4)},   {"abc", 2, 10, 2, "ab##"},   {"abc", 0, 10, 0, "####"},
      {"abcdef", -1, 4, 4, std::string("abc\0", 4)}, {"abcdef", 6, 4, 4, "abcd"},
  };
  for (const Case& c : cases) {
    char output[4] = {'#', '#', '#', '#'};
    std::size_t n = zel::fromUtf8String(zel::utf8Converter(), c.input, c.length, output, c.outputSize);
    EXPECT_EQ(n, c.expectedCount) << c.input << " " << c.length << " " << c.outputSize;
    EXPECT_EQ(std::string(output, 4), c.expectedBytes) << c.input << " " << c.length << " " << c.outputSize;
  }
}

TEST(FromUtf8String, CutsBeforeACharacterThatDoesNotFitAndDropsACutSequence) {
  char output[16];
  std::string euro = bytes({0xE2, 0x82, 0xAC});
  std::string text = "ab" + euro;
  EXPECT_EQ(zel::fromUtf8String(zel::utf8Converter(), text.c_str(), -1, output, 5), 3u);
  EXPECT_STREQ(output, "ab");
  std::string cut = "ab" + bytes({0xE2, 0x82});
  EXPECT_EQ(zel::fromUtf8String(zel::utf8Converter(), cut.c_str(), -1, output, sizeof output), 3u);
  EXPECT_STREQ(output, "ab");
}

TEST(FromUtf8String, ResetsTheShiftStateBeforeConverting) {
  zel::CodesetConverter os{nullptr, zel::CT_OS, "OS", 0, 1, 0};
  char output[8];
  zel::fromUtf8String(&os, "x", -1, output, sizeof output);
  EXPECT_EQ(os.encodeShift, 0);
}

// A null input is "" whatever its length says; a null output has no room.
TEST(FromUtf8String, NullInputIsEmptyAndNullOutputHasNoRoom) {
  for (std::ptrdiff_t length : {-1, 0, 5}) {
    char output[16] = "untouched";
    std::size_t expected = length < 0 ? 1 : 0;
    EXPECT_EQ(zel::fromUtf8String(zel::utf8Converter(), nullptr, length, output, sizeof output), expected)
        << length;
    EXPECT_STREQ(output, length < 0 ? "" : "untouched") << length;
  }
  for (std::ptrdiff_t length : {-1, 3})
    EXPECT_EQ(zel::fromUtf8String(zel::utf8Converter(), "abc", length, nullptr, 10), 0u) << length;
}

TEST(FromUtf8Alloc, SizesAndOwnsTheBufferAsAsked) {
  char* made = zel::fromUtf8Alloc(zel::utf8Converter(), nullptr, nullptr);
  ASSERT_NE(made, nullptr);
  EXPECT_STREQ(made, "");
  std::free(made);

  char* stored = nullptr;
  std::string text = "caf" + bytes({0xC3, 0xA9});
  char* result = zel::fromUtf8Alloc(zel::utf8Converter(), text.c_str(), &stored);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(result, stored);
  EXPECT_EQ(std::string(result), text);
  std::free(stored);

  char mine[16];
  char* given = mine;
  EXPECT_EQ(zel::fromUtf8Alloc(zel::utf8Converter(), "xyz", &given), mine);
  EXPECT_EQ(given, mine);
  EXPECT_STREQ(mine, "xyz");
}

TEST(OpenCodeset, NormalisesNamesWithoutSeparators) {
  zeltest::ScopedVariable noZelDir("ZELDIR", nullptr);
  zeltest::ScopedVariable noBinDir("BINDIR", nullptr);
  EXPECT_EQ(zel::openCodeset("utf-8"), zel::utf8Converter());
  EXPECT_EQ(zel::openCodeset("Utf_8"), zel::utf8Converter());
  EXPECT_EQ(zel::openCodeset("no-such-codeset"), nullptr);
  EXPECT_EQ(zel::openCodeset("./utf-8"), nullptr) << "a path is passed on unchanged";
  EXPECT_EQ(zel::openCodeset(nullptr), nullptr);
}

TEST(SetCurrentConverter, NullMeansThePassThroughConverter) {
  zeltest::resetStartup();
  zeltest::ScopedVariable codeset("ZEL_CODESET", "utf-8");
  EXPECT_EQ(zel::setCurrentConverter(nullptr), 0);
  EXPECT_TRUE(zel::zelInitialized()) << "start-up runs first and does not override";
  EXPECT_EQ(zel::currentConverter(), zel::osConverter());
  std::string overlong = bytes({0xC0, 0x80, 'x'});
  char output[8];
  EXPECT_EQ(zel::fromUtf8String(nullptr, overlong.data(), 3, output, sizeof output), 3u)
      << "copied unchanged, not re-encoded";
  zel::setCurrentConverter(zel::utf8Converter());
  EXPECT_EQ(zel::fromUtf8String(nullptr, overlong.data(), 3, output, sizeof output), 2u);
  zeltest::resetStartup();
}

}  // namespace
