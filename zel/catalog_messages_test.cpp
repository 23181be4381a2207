// The service host's compiled catalogs, found as an installation finds them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "zel/catalog_test_support.h"
#include "zel/catalogs.h"
#include "zel/convert.h"
#include "zel/converters.h"
#include "zel/format_rule.h"
#include "zel/zel_state.h"

namespace {

namespace fs = std::filesystem;

struct Default {
  int number;
  const char* text;
};

// Every message of set 2 with the default text the service host passes to catgets.
const Default defaults[] = {
    {5, "Stopping %s.\n"},
    {7, "%s has started.\n"},
    {8, "%s installed as a Windows service.\n"},
    {9, "Windows DeleteService failed - %s\n"},
    {11, "%s removed as a Windows service.\n"},
    {12, "Unable to install %s - %s"},
    {13, "Debugging the %s...\n"},
    {14, "%s has stopped.\n"},
    {15, "%s has failed to stop.\n"},
    {16, "Windows OpenSCManager failed - %s\n"},
    {17, "Windows OpenService failed - %s\n"},
    {18, "Process started for %s\n"},
    {19, "Windows CreateProcess for command '%s' failed. Error code %i\n"},
    {20, "Windows TerminateProcess failed for %s\n"},
    {21, "Windows StartServiceCtrlDispatcher failed."},
    {22, "Failed to install %s as a Windows service - %s\n"},
    {23, "%s -install          to install the service\n"},
    {24, "%s -remove           to remove the service\n"},
    {25, "%s -debug [params]   to run as a console application for debugging\n"},
    {26, "Working directory is %s.\nJava command is %s\n"},
    {27, "%s process has stopped.\n"},
    {28, "The working directory %s cannot be entered. Error code %i\n"},
    {29, "The option %s in %s is left out: its value has an unmatched quote.\n"},
    {30, "The file %s cannot be read as a properties file; its options are left out.\n"},
};

const fs::path messagesDir = fs::path(ZAQ_DATA_DIR) / "messages";

zel::CatalogHandle openForLanguage(const char* lang) {
  std::string nlsPath = (messagesDir / "%L" / "%N.cat").string();
  zeltest::setVariable("NLSPATH", nlsPath.c_str());
  zeltest::setVariable("LC_ALL", nullptr);
  zeltest::setVariable("LC_MESSAGES", nullptr);
  zeltest::setVariable("LANG", lang);
  zel::CatalogHandle handle = zel::catopen("winServCMessages", 1);
  zeltest::setVariable("NLSPATH", nullptr);
  zeltest::setVariable("LANG", nullptr);
  return handle;
}

TEST(ServiceCatalog, EnglishCatalogInTheCurrentFolderHoldsEveryDefault) {
  zeltest::setVariable("NLSPATH", nullptr);
  zeltest::setVariable("LANG", "de_DE");
  fs::path previous = fs::current_path();
  fs::current_path(messagesDir);
  zel::CatalogHandle handle = zel::catopen("winServCMessages", 1);
  fs::current_path(previous);
  zeltest::setVariable("LANG", nullptr);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  for (const Default& d : defaults)
    EXPECT_STREQ(zel::catgets(handle, 2, d.number, "absent"), d.text) << d.number;
  for (int unused : {1, 2, 3, 4, 6, 10, 31})
    EXPECT_STREQ(zel::catgets(handle, 2, unused, "absent"), "absent");
}

TEST(ServiceCatalog, TheLocaleChoosesTheTranslation) {
  struct Case {
    const char* lang;
    const char* started;  // message 7, UTF-8
  } cases[] = {
      {"fr_FR", "%s a d\xC3\xA9marr\xC3\xA9.\n"},
      {"de_DE.UTF-8", "%s wurde gestartet.\n"},
      {"ja_JP",
       "%s \xE3\x81\x8C\xE9\x96\x8B\xE5\xA7\x8B\xE3\x81\x95\xE3\x82\x8C\xE3\x81\xBE\xE3\x81\x97\xE3\x81\x9F"
       "\xE3\x80\x82\n"},
      {"es_ES", "%s se ha iniciado.\n"},
      {"pt_PT", "%s foi iniciado.\n"},  // Portuguese without a catalog of its own: Brazil's
      {"zh_CN.UTF-8", "%s \xE5\xB7\xB2\xE5\x90\xAF\xE5\x8A\xA8\xE3\x80\x82\n"},
      {"zh_TW", "%s \xE5\xB7\xB2\xE5\x95\x9F\xE5\x8B\x95\xE3\x80\x82\n"},
      {"en_US", "%s has started.\n"},
      {"sv_SE", "%s has started.\n"},
  };
  for (const Case& c : cases) {
    zel::CatalogHandle handle = openForLanguage(c.lang);
    ASSERT_NE(handle, zel::CAT_INVALID_HANDLE) << c.lang;
    EXPECT_STREQ(
        zel::catgetsConverted(reinterpret_cast<zel::Catalog*>(handle), 2, 7, "absent", zel::utf8Converter()),
        c.started)
        << c.lang;
  }
}

// Every translation has every message, with the conversions of English, and
// every text has a code in the ANSI code page of Windows in that language.
TEST(ServiceCatalog, TranslationsKeepEveryMessageAndFitTheirCodePage) {
  struct Translation {
    const char* lang;
    const char* codePage;
  } translations[] = {
      {"fr", "1252"},    {"de", "1252"},   {"ja", "932"},    {"es", "1252"}, {"it", "1252"},
      {"pt_BR", "1252"}, {"zh_CN", "936"}, {"zh_TW", "950"}, {"ko", "949"},
  };
  std::string zelDir = (fs::path(ZAQ_DATA_DIR) / "codesets").string();
  zeltest::setVariable("ZELDIR", zelDir.c_str());
  for (const Translation& t : translations) {
    zel::CatalogHandle handle = openForLanguage(t.lang);
    ASSERT_NE(handle, zel::CAT_INVALID_HANDLE) << t.lang;
    zel::CodesetConverter* codePage = zel::openCodeset(t.codePage);
    ASSERT_NE(codePage, nullptr) << t.codePage;
    for (const Default& d : defaults) {
      std::string text = zel::catgets(handle, 2, d.number, "absent");
      EXPECT_NE(text, "absent") << t.lang << " " << d.number;
      EXPECT_NE(text, d.text) << t.lang << " " << d.number;
      EXPECT_TRUE(zel::formatCanReplace(text, d.text)) << t.lang << " " << d.number << ": " << text;
      zel::catgetsConverted(reinterpret_cast<zel::Catalog*>(handle), 2, d.number, "absent", codePage);
      EXPECT_EQ(codePage->substitutions, 0) << t.lang << " " << d.number << " in " << t.codePage;
    }
    std::free(codePage->table);
    std::free(codePage);
  }
  zeltest::setVariable("ZELDIR", nullptr);
}

// The texts as an operator sees them: converted into the Windows code page.
TEST(ServiceCatalog, TextsComeOutInTheCodePageOfTheProcess) {
  std::string zelDir = (fs::path(ZAQ_DATA_DIR) / "codesets").string();
  zeltest::setVariable("ZELDIR", zelDir.c_str());
  zel::CodesetConverter* cp932 = zel::openCodeset("932");
  zel::CodesetConverter* cp1252 = zel::openCodeset("1252");
  ASSERT_NE(cp932, nullptr);
  ASSERT_NE(cp1252, nullptr);
  const char* japanese =
      "%s \x82\xAA\x8AJ\x8En\x82\xB3\x82\xEA\x82\xDC\x82\xB5\x82\xBD\x81"
      "B\n";
  const char* french = "%s a d\xE9marr\xE9.\n";

  zel::Catalog* ja = reinterpret_cast<zel::Catalog*>(openForLanguage("ja_JP"));
  ASSERT_NE(ja, nullptr);
  EXPECT_STREQ(zel::catgetsConverted(ja, 2, 7, "absent", cp932), japanese);
  zel::Catalog* fr = reinterpret_cast<zel::Catalog*>(openForLanguage("fr_FR"));
  ASSERT_NE(fr, nullptr);
  const char* converted = zel::catgetsConverted(fr, 2, 7, "absent", cp1252);
  EXPECT_STREQ(converted, french);
  // A converting lookup reuses the message's scratch area.
  EXPECT_EQ(zel::catgetsConverted(fr, 2, 7, "absent", cp1252), converted);
  EXPECT_STREQ(zel::catgetsConverted(fr, 2, 7, "absent", zel::utf8Converter()),
               "%s a d\xC3\xA9marr\xC3\xA9.\n");

  // Loaded with code page 932 current, catgets gives the converted texts.
  fs::path copy = zeltest::scratchDir() / "winServCMessages.cat";
  fs::copy_file(messagesDir / "ja" / "winServCMessages.cat", copy, fs::copy_options::overwrite_existing);
  zel::CodesetConverter* previous = zel::currentConverter();
  zel::setCurrentConverter(cp932);
  zel::CatalogHandle handle = zel::catopen(copy.string().c_str(), 0);
  const char* loaded = zel::catgets(handle, 2, 7, "absent");
  zel::setCurrentConverter(previous);
  zeltest::setVariable("ZELDIR", nullptr);
  EXPECT_STREQ(loaded, japanese);
  // The library keeps converters for the life of the process; the test lets its own go.
  for (zel::CodesetConverter* converter : {cp932, cp1252}) {
    std::free(converter->table);
    std::free(converter);
  }
}

}  // namespace
