// The service host's compiled catalogs, found as an installation finds them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "tests/support/text_cases.h"
#include "zel/catalog_test_support.h"
#include "zel/catalogs.h"
#include "zel/convert.h"
#include "zel/converters.h"
#include "zel/format_rule.h"
#include "zel/zel_state.h"

namespace {

namespace fs = std::filesystem;

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

// The English texts of set 2 as the build compiled them from their source
// (winservice/message_table_test.cpp proves them the host's defaults).
std::map<int, std::string> englishTexts() {
  std::map<int, std::string> texts;
  zel::CatalogHandle handle = zel::catopen((messagesDir / "winServCMessages.cat").string().c_str(), 0);
  const zel::CatalogSet* set =
      handle == zel::CAT_INVALID_HANDLE ? nullptr : zel::findSet(reinterpret_cast<zel::Catalog*>(handle), 2);
  for (std::uint32_t i = 0; set != nullptr && i < set->messageCount; ++i)
    texts.emplace(set->messages[i].msgId, set->messages[i].text);
  return texts;
}

TEST(ServiceCatalog, EnglishCatalogInTheCurrentFolderIsFoundByName) {
  zeltest::setVariable("NLSPATH", nullptr);
  zeltest::setVariable("LANG", "de_DE");
  fs::path previous = fs::current_path();
  fs::current_path(messagesDir);
  zel::CatalogHandle handle = zel::catopen("winServCMessages", 1);
  fs::current_path(previous);
  zeltest::setVariable("LANG", nullptr);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  std::map<int, std::string> english = englishTexts();
  ASSERT_FALSE(english.empty());
  for (const auto& [number, text] : english)
    EXPECT_EQ(zel::catgets(handle, 2, number, "absent"), text) << number;
}

TEST(ServiceCatalog, TheLocaleChoosesTheTranslation) {
  // The locale and its message 7, in UTF-8.
  const zaq_test::TextCase cases[] = {
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
  for (const auto& c : cases) {
    zel::CatalogHandle handle = openForLanguage(c.input);
    ASSERT_NE(handle, zel::CAT_INVALID_HANDLE) << c.input;
    EXPECT_STREQ(
        zel::catgetsConverted(reinterpret_cast<zel::Catalog*>(handle), 2, 7, "absent", zel::utf8Converter()),
        c.expected)
        << c.input;
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
  std::map<int, std::string> english = englishTexts();
  ASSERT_FALSE(english.empty());
  std::string zelDir = (fs::path(ZAQ_DATA_DIR) / "codesets").string();
  zeltest::setVariable("ZELDIR", zelDir.c_str());
  for (const Translation& t : translations) {
    zel::CatalogHandle handle = openForLanguage(t.lang);
    ASSERT_NE(handle, zel::CAT_INVALID_HANDLE) << t.lang;
    zel::CodesetConverter* codePage = zel::openCodeset(t.codePage);
    ASSERT_NE(codePage, nullptr) << t.codePage;
    for (const auto& [number, englishText] : english) {
      std::string text = zel::catgets(handle, 2, number, "absent");
      EXPECT_NE(text, "absent") << t.lang << " " << number;
      EXPECT_NE(text, englishText) << t.lang << " " << number;
      EXPECT_TRUE(zel::formatCanReplace(text, englishText)) << t.lang << " " << number << ": " << text;
      zel::catgetsConverted(reinterpret_cast<zel::Catalog*>(handle), 2, number, "absent", codePage);
      EXPECT_EQ(codePage->substitutions, 0) << t.lang << " " << number << " in " << t.codePage;
    }
    std::free(codePage->table);
    std::free(codePage);
  }
  zeltest::setVariable("ZELDIR", nullptr);
}

// Windows' own words, as its Services console and its messages say them in
// each language: no message uses the word Windows does not, and the word it
// does use appears.
TEST(ServiceCatalog, TranslationsUseWindowsOwnWords) {
  struct Term {
    const char* lang;
    const char* avoided;
    const char* windows;
  } terms[] = {
      {"de", "gestoppt", "beendet"},
      {"de", "ausgelassen", "ignoriert"},
      {"de", "zur Fehlersuche", "zum Debuggen"},
      {"de", "als Windows-Dienst entfernt", "aus den Windows-Diensten entfernt"},
      {"de", ": Ihr Wert", ": Der Wert"},
      {"ja", "ディレクトリー", "ディレクトリ"},
      {"ja", "プロパティー", "プロパティ"},
      {"ja", "エラー・コード", "エラー コード"},
      {"ja", "コンソール・アプリケーション", "コンソール アプリケーション"},
      {"ja", "除外されます", "無視されます"},
      {"ja", "オプション %s (%s)", "オプション %s (ファイル %s)"},
      {"pt_BR", "console para depuração", "aplicativo de console"},
      {"pt_BR", "aspas sem fechamento", "aspas não fechadas"},
      {"fr", "application console de débogage", "en tant qu'application console, à des fins de débogage"},
      {"zh_CN", "进入工作目录", "访问工作目录"},
  };
  std::map<int, std::string> english = englishTexts();
  ASSERT_FALSE(english.empty());
  for (const Term& term : terms) {
    SCOPED_TRACE(std::string(term.lang) + ": " + term.windows);
    zel::Catalog* catalog = reinterpret_cast<zel::Catalog*>(openForLanguage(term.lang));
    ASSERT_NE(catalog, nullptr);
    bool used = false;
    for (const auto& [number, englishText] : english) {
      std::string text = zel::catgetsConverted(catalog, 2, number, "absent", zel::utf8Converter());
      EXPECT_EQ(text.find(term.avoided), std::string::npos) << number << ": " << text;
      used = used || text.find(term.windows) != std::string::npos;
    }
    EXPECT_TRUE(used);
  }
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
