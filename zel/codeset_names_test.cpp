#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/support/text_cases.h"
#include "zel/codeset_table_builder.h"
#include "zel/convert.h"
#include "zel/converter_test_support.h"
#include "zel/locale.h"
#include "zel/zel_state.h"

namespace {

std::string normalized(const char* name, std::size_t size = 128) {
  char buffer[128];
  zel::normalizeCodesetName(name, buffer, size);
  return buffer;
}

// Letters and digits of the upper-cased text, as normalisation keeps them.
std::string lettersAndDigits(const std::string& s) {
  std::string out;
  for (char c : s)
    if (std::isalnum(static_cast<unsigned char>(c))) out.push_back(static_cast<char>(std::toupper(c)));
  return out;
}

void writeSbcsTable(const std::string& path, const std::string& name) {
  std::array<std::uint16_t, 256> decode{};
  decode.fill(0xFFFF);
  zel::tablebuild::TableHeader header{name, zel::CT_SBCS, 0, 0x1A, 0x1A};
  zeltest::writeFile(
      path, zel::tablebuild::buildRowTable(header, std::vector<std::uint32_t>(65536, 0x1A), {}, decode));
}

TEST(NormalizeCodesetName, KeepsUpperCaseLettersAndDigits) {
  std::string dir = zeltest::scratchDir("normalize_plain");
  zeltest::ScopedVariable zelDir("ZELDIR", dir.c_str());
  const zaq_test::TextCase cases[] = {
      {"EUC-JP", "EUCJP"},
      {"utf-8", "UTF8"},
      {"QZR-943", "943"},
      {"qzr1252", "1252"},
      {"xQZR1252", "XQZR1252"},
      {"ISO_8859-1:1987", "ISO885911987"},
      {"", ""},
      {"-._", ""},
      {"IBM-1047", "IBM1047"},
      {"windows-1252", "WINDOWS1252"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalized(c.input), c.expected) << c.input;
}

TEST(NormalizeCodesetName, BoundedByTheBufferAndTheWorkBuffer) {
  std::string dir = zeltest::scratchDir("normalize_bounds");
  zeltest::ScopedVariable zelDir("ZELDIR", dir.c_str());
  char buffer[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
  EXPECT_EQ(zel::normalizeCodesetName("EUC-JP", buffer, 0), 1);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(zel::normalizeCodesetName("EUC-JP", buffer, 3), 0);
  EXPECT_STREQ(buffer, "EU");
  EXPECT_EQ(buffer[3], '#');
  std::string longName(300, 'a');
  EXPECT_EQ(normalized(longName.c_str()), std::string(127, 'A')) << "cut at the 127-character work buffer";
}

TEST(NormalizeCodesetName, OperatingSystemNamesBecomeTheCodePage) {
  std::string dir = zeltest::scratchDir("normalize_os");
  zeltest::ScopedVariable zelDir("ZELDIR", dir.c_str());
  for (const char* name : {"OS", "os", "WIN", "Win"}) {
    char page[128];
    zel::osCodePage("OS", page, sizeof page);
    EXPECT_EQ(normalized(name), lettersAndDigits(page)) << name;
  }
  char oem[128];
  zel::osCodePage("DOS", oem, sizeof oem);
  EXPECT_EQ(normalized("dos"), lettersAndDigits(oem));
  char osName[128];
  EXPECT_EQ(zel::osCodesetName(osName, sizeof osName), 0);
  EXPECT_EQ(std::string(osName), normalized("OS"));
}

TEST(OsCodePage, BoundedAndTerminated) {
  char buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(zel::osCodePage("OS", buffer, 0), 1);
  EXPECT_EQ(buffer[0], '#');
  EXPECT_EQ(zel::osCodePage("OS", buffer, 1), 0);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '#');
#ifdef _WIN32
  // Windows answers with the decimal ANSI and OEM code pages.
  for (const char* name : {"OS", "DOS"}) {
    char page[16];
    zel::osCodePage(name, page, sizeof page);
    ASSERT_NE(page[0], '\0') << name;
    for (const char* p = page; *p; ++p) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(*p))) << page;
  }
#endif
}

TEST(ResolveCodesetAlias, LineRules) {
  std::string dir = zeltest::scratchDir("aliases_rules");
  std::filesystem::create_directories(dir + "/codeset");
  zeltest::writeFile(dir + "/codeset/aliases",
                     "# comment\n"
                     "#UTF8 COMMENTED\n"
                     "NOSECOND\n"
                     "NOSECOND2 \n"
                     "SPACED\t  LATER   trailing words\n"
                     "   INDENTED\tYES\n"
                     "DUP FIRST\n"
                     "DUP SECOND\n"
                     "utf8 LOWER\n" +
                         std::string(127, 'x') + "SPLIT PIECE\n" + "LAST NOEOL");
  zeltest::ScopedVariable zelDir("ZELDIR", dir.c_str());
  const zaq_test::TextCase cases[] = {
      {"UTF8", "UTF8"},    {"NOSECOND", "NOSECOND"}, {"NOSECOND2", "NOSECOND2"},
      {"SPACED", "LATER"}, {"INDENTED", "YES"},      {"DUP", "FIRST"},
      {"SPLIT", "PIECE"},  {"LAST", "LAST"},         {"COMMENT", "COMMENT"},
  };
  for (const auto& c : cases) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%s", c.input);
    EXPECT_EQ(zel::resolveCodesetAlias(buffer, sizeof buffer), 0) << c.input;
    EXPECT_STREQ(buffer, c.expected) << c.input;
  }
  char small[4] = "DUP";
  zel::resolveCodesetAlias(small, sizeof small);
  EXPECT_STREQ(small, "FIR") << "cut to size - 1";
  EXPECT_EQ(normalized("spaced"), "LATER") << "normalisation applies aliases";
}

TEST(ResolveCodesetAlias, SearchOrderAndMissingFile) {
  std::string dir = zeltest::scratchDir("aliases_order");
  zeltest::ScopedVariable zelDir("ZELDIR", dir.c_str());
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  char buffer[32] = "NAME";
  EXPECT_EQ(zel::resolveCodesetAlias(buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "NAME");

  std::filesystem::create_directories(dir + "/cwd");
  zeltest::writeFile(dir + "/cwd/aliases", "NAME CWD\n");
  std::filesystem::current_path(dir + "/cwd");
  EXPECT_EQ(zel::resolveCodesetAlias(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "CWD");

  zeltest::writeFile(dir + "/aliases", "NAME TOP\n");
  std::snprintf(buffer, sizeof buffer, "NAME");
  zel::resolveCodesetAlias(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "TOP");

  std::filesystem::create_directories(dir + "/codeset");
  zeltest::writeFile(dir + "/codeset/aliases", "OTHER X\n");
  std::snprintf(buffer, sizeof buffer, "NAME");
  EXPECT_EQ(zel::resolveCodesetAlias(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "NAME") << "the first file that opens decides, even without a match";
  std::filesystem::current_path(previous);
}

TEST(ZelInitialize, ChoosesTheConfiguredCodesetOrFallsBack) {
  std::string dir = zeltest::scratchDir("startup");
  std::filesystem::create_directories(dir + "/codeset");
  zeltest::ScopedVariable zelDir("ZELDIR", dir.c_str());
  zeltest::ScopedVariable noBinDir("BINDIR", nullptr);
  writeSbcsTable(dir + "/codeset/MINE", "MINE");

  struct Case {
    const char* zelCodeset;
    bool withDefault;
    const char* expectedCurrent;
  } cases[] = {
      {"utf-8", false, "UTF8"},
      {"mine", false, "MINE"},
      {"nothing-here", false, "OS"},
      {"nothing-here", true, "DEF"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir + "/codeset/DEFAULT");
    if (c.withDefault) writeSbcsTable(dir + "/codeset/DEFAULT", "DEF");
    zeltest::resetStartup();
    zeltest::ScopedVariable codeset("ZEL_CODESET", c.zelCodeset);
    EXPECT_EQ(zel::zelInitialize(), 0);
    EXPECT_TRUE(zel::zelInitialized());
    EXPECT_STREQ(zel::currentConverter()->name, c.expectedCurrent) << c.zelCodeset;
    zel::CodesetConverter* before = zel::currentConverter();
    zel::zelInitialize();
    EXPECT_EQ(zel::currentConverter(), before) << "start-up runs once";
  }
  zeltest::resetStartup();
}

TEST(ZelInitialize, OsDefaultIsTheOperatingSystemCodesetOrOsDefaultTable) {
  std::string dir = zeltest::scratchDir("startup_os");
  std::filesystem::create_directories(dir + "/codeset");
  zeltest::ScopedVariable zelDir("ZELDIR", dir.c_str());
  zeltest::ScopedVariable noBinDir("BINDIR", nullptr);
  zeltest::ScopedVariable codeset("ZEL_CODESET", nullptr);
  char osName[128];
  zel::osCodesetName(osName, sizeof osName);

  zeltest::resetStartup();
  zel::zelInitialize();
  if (std::strcmp(osName, "UTF8") == 0) {
    EXPECT_EQ(zel::osDefaultConverter(), zel::utf8Converter());
  } else {
    EXPECT_EQ(zel::osDefaultConverter(), zel::osConverter()) << "no table for " << osName;
    writeSbcsTable(dir + "/codeset/OSDEFAULT", "OSDEF");
    zeltest::resetStartup();
    zel::zelInitialize();
    EXPECT_STREQ(zel::osDefaultConverter()->name, "OSDEF");
    if (osName[0] != '\0') {
      writeSbcsTable(dir + "/codeset/" + osName, "FROMOS");
      zeltest::resetStartup();
      zel::zelInitialize();
      EXPECT_STREQ(zel::osDefaultConverter()->name, "FROMOS");
      EXPECT_STREQ(zel::currentConverter()->name, "FROMOS") << "ZEL_CODESET unset means OS";
    }
  }
  zeltest::resetStartup();
}

// The start-up path of a Windows machine: without ZEL_CODESET the current
// codeset is the ANSI code page's table (under Wine, its decimal number).
TEST(ZelInitialize, OperatingSystemCodePageOpensItsTable) {
  zeltest::ScopedVariable zelDir("ZELDIR", zeltest::generatedZelDir().c_str());
  zeltest::ScopedVariable codeset("ZEL_CODESET", nullptr);
  char osName[128];
  zel::osCodesetName(osName, sizeof osName);
#ifdef _WIN32
  ASSERT_NE(osName[0], '\0');
  for (const char* p = osName; *p; ++p) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(*p))) << osName;
#endif
  zel::CodesetConverter* direct = zel::openCodeset(osName);
  zeltest::resetStartup();
  zel::zelInitialize();
  if (direct != nullptr) {
    EXPECT_STREQ(zel::currentConverter()->name, direct->name);
    EXPECT_STREQ(zel::osDefaultConverter()->name, direct->name);
  } else {
    EXPECT_EQ(zel::currentConverter(), zel::osConverter()) << "no table for " << osName;
    EXPECT_EQ(zel::osDefaultConverter(), zel::osConverter());
  }
#ifdef _WIN32
  ASSERT_NE(direct, nullptr) << "a generated table for code page " << osName;
  // The ANSI code pages generated here are ASCII-based: an e acute is one byte.
  char out[8];
  EXPECT_EQ(zel::fromUtf8String(nullptr, "\xC3\xA9", -1, out, sizeof out), 2u);
#endif
  zeltest::releaseConverter(direct);
  zeltest::resetStartup();
}

}  // namespace
