#include <gtest/gtest.h>

#include <string>

#include "tests/support/text_cases.h"
#include "zel/catalog_test_support.h"
#include "zel/locale.h"
#include "zel/platform.h"

namespace {

std::string normalized(const char* name, std::size_t size = 32) {
  char buffer[32] = "unchanged";
  zel::normalizeLocale(name, buffer, size);
  return buffer;
}

std::string alternate(const char* name) {
  char buffer[32];
  zel::alternateLocale(name, buffer, sizeof buffer);
  return buffer;
}

TEST(Locale, NormalizeLocale) {
  const zaq_test::TextCase cases[] = {
      {"en_US.UTF-8", "en_US"},
      {"FR", "fr"},
      {"de-de", "de_DE"},
      {"german.UTF8", "german.UTF8"},
      {"C", "C"},
      {"japanese", "ja_JP"},
      {"Jp_JP", "ja_JP"},
      {"ar_AA", "ar"},
      {"Ar_AA", "ar"},
      {"cz", "cs"},
      {"american", "C"},
      {"ENUS437", "en_US"},
      {"fr.ISO8859-1", "fr"},
      {"fr_FR@euro", "fr_FR"},
      {"fr_FRA", "fr_FRA"},
      {"en_U", "en_U"},
      {"e", "e"},
      {"", ""},
      {"POSIX", "POSIX"},
      {"12_34", "12_34"},
      {"jA_jp", "ja_JP"},
      {"CZ", "cz"},
      {"en_US1", "en_US1"},
      {"ab-", "ab-"},
  };
  for (const auto& c : cases) EXPECT_EQ(normalized(c.input), c.expected) << c.input;
  EXPECT_EQ(normalized("en_US", 3), "en");
  EXPECT_EQ(normalized("en_US", 0), "unchanged");
}

TEST(Locale, AlternateLocale) {
  const zaq_test::TextCase cases[] = {
      {"fr_CA", "fr_FR"},
      {"en_GB", "C"},
      {"ja", "ja_JP"},
      {"zh_HK", "zh_CN"},
      {"de_DE", "de"},
      {"zh_TW", "zh_TW"},
      {"pt_PT", "pt_BR"},
      {"pt_BR", "pt_BR"},
      {"C", "C"},
      {"en", "C"},
      {"japanese", "ja_JP"},
      {"de", "de"},
      {"german.UTF8", "germa"},
      {"fr_FR.UTF-8", "fr_FR"},
  };
  for (const auto& c : cases) EXPECT_EQ(alternate(c.input), c.expected) << c.input;
}

TEST(Locale, LanguageIdentifiers) {
  struct Case {
    std::uint16_t id;
    const char* expected;
  } cases[] = {
      {0x0409, "en"},    {0x0809, "en"}, {0x0404, "zh_TW"}, {0x0804, "zh_CN"}, {0x0C04, "zh_TW"},
      {0x1404, "zh_TW"}, {0x1004, "zh"}, {0x0416, "pt_BR"}, {0x0816, "pt"},    {0x040C, "fr"},
      {0x0407, "de"},    {0x0411, "ja"}, {0x0C0A, "es"},    {0x0410, "it"},    {0x0412, "ko"},
      {0x041A, "hr"},    {0x081A, "hr"}, {0x0C1A, "hr"},    {0x0422, "uk"},    {0x0401, "ar"},
      {0x0436, "af"},    {0x0000, "C"},  {0x0417, "C"},     {0xFFFF, "C"},     {0x043F, "C"},
  };
  for (const Case& c : cases) EXPECT_STREQ(zel::localeFromLanguageId(c.id), c.expected) << std::hex << c.id;
}

TEST(Locale, DefaultLocaleComesFromLangOrTheUserLanguage) {
  char buffer[8];
  zeltest::setVariable("LANG", "fr_FR.UTF-8");
  zel::getDefaultLocale(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "fr_FR.U");
  zeltest::setVariable("LANG", "");
  zel::getDefaultLocale(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, zel::localeFromLanguageId(zel::platformUserLanguageId()));
  zeltest::setVariable("LANG", nullptr);
  zel::getDefaultLocale(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, zel::localeFromLanguageId(zel::platformUserLanguageId()));
  char untouched = 'x';
  zel::getDefaultLocale(&untouched, 0);
  EXPECT_EQ(untouched, 'x');
}

}  // namespace
