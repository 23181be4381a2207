#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "zel/catalog_test_support.h"
#include "zel/catalogs.h"

namespace {

namespace fs = std::filesystem;

std::string expand(const char* segment, const char* locale, const char* name) {
  char output[zel::CATALOG_PATH_SIZE];
  zel::expandCatalogPath(segment, std::strlen(segment), locale, name, output);
  return output;
}

TEST(CatalogSearch, ExpandsEveryDirective) {
  struct Case {
    const char* segment;
    const char* locale;
    const char* expected;
  } cases[] = {
      {"%N.cat", "fr_FR", "app.cat"},
      {"/m/%L/%N", "fr_FR.UTF-8", "/m/fr_FR.UTF-8/app"},
      {"%l-%t-%c", "ja_JP", "ja-JP-"},
      {"%l-%t-%c", "german.UTF8", "german--UTF8"},
      {"%l-%t-%c", "de_DE.ISO8859-1", "de-DE-ISO8859-1"},
      {"%l-%t-%c", "C", "C--"},
      {"%l|%t|%c", "a.b_c", "a.b|c|b_c"},
      {"%%N", "C", "%app"},
      {"%x%n%", "C", "%x%n%"},
      {"100%", "C", "100%"},
      {"%L%L", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(expand(c.segment, c.locale, "app"), c.expected) << c.segment;
}

TEST(CatalogSearch, ExpansionAcceptsOnlyExistingFilesAndRefusesOverlongPaths) {
  fs::path dir = zeltest::scratchDir();
  zeltest::writeFile(dir / "app.cat", zeltest::buildCatalog({{1, {{1, "x"}}}}));
  std::string segment = (dir / "%N.cat").string();
  char output[zel::CATALOG_PATH_SIZE];
  EXPECT_EQ(zel::expandCatalogPath(segment.data(), segment.size(), "C", "app", output), output);
  EXPECT_EQ(zel::expandCatalogPath(segment.data(), segment.size(), "C", "other", output), nullptr);
  std::string folder = dir.string();
  EXPECT_EQ(zel::expandCatalogPath(folder.data(), folder.size(), "C", "app", output), nullptr);
  std::string name(zel::CATALOG_PATH_SIZE, 'n');
  EXPECT_EQ(zel::expandCatalogPath(segment.data(), segment.size(), "C", name.c_str(), output), nullptr);
}

struct SearchCase {
  std::vector<const char*> files;
  const char* locale;
  int flags;
  const char* expected;  // "" for none
};

// Candidates per segment: full, language, alternate, "C", each unless a flag skips it.
TEST(CatalogSearch, TriesTheLocaleCandidatesInOrder) {
  const SearchCase cases[] = {
      {{"fr_FR", "fr", "C"}, "fr_FR", 0, "fr_FR"},
      {{"fr", "C"}, "fr_FR.UTF-8", 0, "fr"},
      {{"fr", "C"}, "fr_FR", zel::CAT_NO_LANGUAGE, "C"},
      {{"fr_FR", "C"}, "fr_CA", 0, "fr_FR"},
      {{"fr_FR", "C"}, "fr_CA", zel::CAT_NO_ALTERNATE, "C"},
      {{"C"}, "de_DE", zel::CAT_NO_C, ""},
      {{"ja_JP"}, "japanese", 0, "ja_JP"},
      {{"ja_JP"}, "ja.eucJP", 0, "ja_JP"},  // the alternate of ja is ja_JP
      {{"ja"}, "ja_JP", 0, "ja"},
      {{"C"}, "en_GB", zel::CAT_NO_C, "C"},  // the alternate of en_GB is C
      {{"de", "C"}, "DE-de", 0, "de"},
      {{}, "fr_FR", 0, ""},
  };
  fs::path root = zeltest::scratchDir();
  int n = 0;
  for (const SearchCase& c : cases) {
    fs::path dir = root / std::to_string(n++);
    for (const char* folder : c.files)
      zeltest::writeFile(dir / folder / "app.cat", zeltest::buildCatalog({{1, {{1, folder}}}}));
    std::string pathTemplate = "/nonexistent/%N.cat;" + (dir / "%L" / "%N.cat").string();
    zel::Catalog* catalog = zel::findCatalogFile("app", c.flags, pathTemplate.c_str(), c.locale);
    std::string found =
        catalog == nullptr ? "" : zel::catgets(reinterpret_cast<zel::CatalogHandle>(catalog), 1, 1, "?");
    EXPECT_EQ(found, c.expected) << "case " << n - 1 << " locale " << c.locale;
  }
}

TEST(CatalogSearch, SegmentsAreTriedLeftToRight) {
  fs::path dir = zeltest::scratchDir();
  zeltest::writeFile(dir / "one" / "C" / "app.cat", zeltest::buildCatalog({{1, {{1, "one"}}}}));
  zeltest::writeFile(dir / "two" / "fr" / "app.cat", zeltest::buildCatalog({{1, {{1, "two"}}}}));
  std::string one = (dir / "one" / "%L" / "%N.cat").string();
  std::string two = (dir / "two" / "%L" / "%N.cat").string();
  // The first segment that yields a file wins, even through its "C" candidate.
  std::string pathTemplate = ";" + one + ";" + two;
  zel::Catalog* catalog = zel::findCatalogFile("app", 0, pathTemplate.c_str(), "fr_FR");
  ASSERT_NE(catalog, nullptr);
  EXPECT_STREQ(zel::catgets(reinterpret_cast<zel::CatalogHandle>(catalog), 1, 1, "?"), "one");
  catalog = zel::findCatalogFile("app", zel::CAT_NO_C, pathTemplate.c_str(), "fr_FR");
  ASSERT_NE(catalog, nullptr);
  EXPECT_STREQ(zel::catgets(reinterpret_cast<zel::CatalogHandle>(catalog), 1, 1, "?"), "two");
}

TEST(CatalogSearch, NamesWithSeparatorsArePaths) {
  fs::path dir = zeltest::scratchDir();
  zeltest::writeFile(dir / "app.cat", zeltest::buildCatalog({{1, {{1, "x"}}}}));
  std::string pathTemplate = (dir / "%N").string();
  std::string missing = "sub\\app.cat";
  EXPECT_EQ(zel::findCatalogFile(missing.c_str(), 0, pathTemplate.c_str(), "C"), nullptr);
  EXPECT_EQ(zel::findCatalogFile("", 0, pathTemplate.c_str(), "C"), nullptr);
  EXPECT_EQ(zel::findCatalogFile(nullptr, 0, pathTemplate.c_str(), "C"), nullptr);
  std::string path = (dir / "app.cat").string();
  EXPECT_NE(zel::findCatalogFile(path.c_str(), 0, "", "C"), nullptr);
}

#ifndef _WIN32
// A colon in second place is a drive letter's and does not split; elsewhere it does.
TEST(CatalogSearch, ColonAfterADriveLetterDoesNotSplit) {
  fs::path dir = zeltest::scratchDir();
  zeltest::writeFile(dir / "d:" / "fr" / "app.cat", zeltest::buildCatalog({{1, {{1, "drive"}}}}));
  zeltest::writeFile(dir / "d" / "app.cat", zeltest::buildCatalog({{1, {{1, "split"}}}}));
  fs::path previous = fs::current_path();
  fs::current_path(dir);
  zel::Catalog* drive = zel::findCatalogFile("app", 0, "d:/%L/%N.cat", "fr_FR");
  zel::Catalog* split = zel::findCatalogFile("app", 0, "xx:d/%N.cat", "fr_FR");
  fs::current_path(previous);
  ASSERT_NE(drive, nullptr);
  ASSERT_NE(split, nullptr);
  EXPECT_STREQ(zel::catgets(reinterpret_cast<zel::CatalogHandle>(drive), 1, 1, "?"), "drive");
  EXPECT_STREQ(zel::catgets(reinterpret_cast<zel::CatalogHandle>(split), 1, 1, "?"), "split");
}
#endif

TEST(CatalogOpen, ChoosesTheLocaleFromTheEnvironment) {
  fs::path dir = zeltest::scratchDir();
  for (const char* locale : {"fr", "de", "ja", "es"})
    zeltest::writeFile(dir / locale / "app.cat", zeltest::buildCatalog({{1, {{1, locale}}}}));
  std::string nlsPath = (dir / "%l" / "%N.cat").string();
  zeltest::setVariable("NLSPATH", nlsPath.c_str());
  zeltest::setVariable("LC_ALL", "fr_FR");
  zeltest::setVariable("LC_MESSAGES", "de_DE");
  zeltest::setVariable("LANG", "ja_JP");
  auto opened = [](int flags, const char* locale) {
    zel::Catalog* catalog = zel::catopenForLocale("app", flags, locale);
    return std::string(
        catalog == nullptr ? "" : zel::catgets(reinterpret_cast<zel::CatalogHandle>(catalog), 1, 1, "?"));
  };
  EXPECT_EQ(opened(zel::CAT_MESSAGE_LOCALE, nullptr), "fr");
  EXPECT_EQ(opened(0, nullptr), "ja");
  EXPECT_EQ(opened(zel::CAT_MESSAGE_LOCALE, "es_ES"), "es");
  zeltest::setVariable("LC_ALL", nullptr);
  EXPECT_EQ(opened(zel::CAT_MESSAGE_LOCALE, nullptr), "de");
  zeltest::setVariable("LC_MESSAGES", nullptr);
  EXPECT_EQ(opened(zel::CAT_MESSAGE_LOCALE, nullptr), "ja");
  zeltest::setVariable("NLSPATH", nullptr);
  zeltest::setVariable("LANG", nullptr);
  EXPECT_EQ(zel::catopen(nullptr, 1), zel::CAT_INVALID_HANDLE);
  EXPECT_EQ(zel::catopen("", 1), zel::CAT_INVALID_HANDLE);
}

// Without NLSPATH (unset or empty) an installation's nls/<locale>/ folders in
// the current directory come first, then the plain catalog there; with
// NLSPATH, or without an nls folder, the plain catalog is what it was.
TEST(CatalogOpen, WithoutNlsPathTheInstallationsTranslationsAreFound) {
  struct Case {
    std::vector<const char*> files;  // folders holding the catalog; "." the current one
    const char* lang;
    const char* nlsPath;  // nullptr: unset
    const char* expected;
  } cases[] = {
      {{"nls/fr", "."}, "fr_FR", nullptr, "nls/fr"},
      {{"nls/fr_FR", "nls/fr", "."}, "fr_FR.UTF-8", "", "nls/fr_FR"},
      {{"nls/pt_BR", "."}, "pt_PT", nullptr, "nls/pt_BR"},
      {{"nls/german", "."}, "german.UTF8", nullptr, "nls/german"},  // only %l gives german
      {{"nls/C", "nls/fr", "."}, "de_DE", nullptr, "nls/C"},
      {{"nls/fr", "."}, "de_DE", nullptr, "."},
      {{"."}, "fr_FR", nullptr, "."},
      {{"nls/fr", "."}, "fr_FR", "%N.cat", "."},
      {{"nls/fr"}, "fr_FR", "%N.cat", ""},
  };
  fs::path root = zeltest::scratchDir();
  fs::path previous = fs::current_path();
  zeltest::setVariable("LC_ALL", nullptr);
  zeltest::setVariable("LC_MESSAGES", nullptr);
  int n = 0;
  for (const Case& c : cases) {
    // A name per case: open catalogs are known by their relative paths.
    std::string name = "app" + std::to_string(n);
    fs::path dir = root / std::to_string(n++);
    fs::create_directories(dir);
    for (const char* folder : c.files)
      zeltest::writeFile(dir / folder / (name + ".cat"), zeltest::buildCatalog({{1, {{1, folder}}}}));
    zeltest::setVariable("NLSPATH", c.nlsPath);
    zeltest::setVariable("LANG", c.lang);
    fs::current_path(dir);
    zel::CatalogHandle handle = zel::catopen(name.c_str(), 1);
    fs::current_path(previous);
    EXPECT_STREQ(zel::catgets(handle, 1, 1, ""), c.expected) << "case " << n - 1 << " LANG " << c.lang;
  }
  zeltest::setVariable("NLSPATH", nullptr);
  zeltest::setVariable("LANG", nullptr);
}

}  // namespace
