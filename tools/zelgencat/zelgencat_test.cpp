#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/files.h"
#include "tests/support/text_cases.h"
#include "tools/zelgencat/catalog_image.h"
#include "tools/zelgencat/compiler.h"
#include "tools/zelgencat/message_source.h"
#include "tools/zelgencat/translation_check.h"
#include "zel/catalog_format.h"

namespace {

using namespace zelgencat;

bool parse(const std::string& source, MessageCatalog& catalog, std::string& error) {
  ParseState state;
  return parseMessageSource(source, "in.msg", state, catalog, error);
}

std::filesystem::path scratch(const char* name) {
  std::filesystem::path dir = std::filesystem::path(ZAQ_BINARY_DIR) / "zelgencat_scratch" / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

using zaq_test::readFile;

TEST(Zelgencat, CompilesTheMinimalCatalogByteForByte) {
  const unsigned char expected[86] = {
      '*', 'n', 'a', 'z', 'g', 'u', 'l', '*', 0, 0, 0, 1, 0, 0, 0,   0,   0, 0,   0,   0, 0, 0,
      0,   1,   0,   0,   0,   28,  0,   0,   0, 1, 0, 0, 0, 0, 0,   0,   0, 56,  0,   0, 0, 80,
      0,   0,   0,   6,   0,   0,   0,   2,   0, 0, 0, 0, 0, 0, 0,   1,   0, 0,   0,   0, 0, 0,
      0,   0,   0,   0,   0,   2,   0,   0,   0, 3, 0, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 0};
  MessageCatalog catalog;
  std::string error;
  ASSERT_TRUE(parse("$set 1\n1 ab\n2 cd\n", catalog, error)) << error;
  EXPECT_EQ(encodeCatalog(catalog), std::string(reinterpret_cast<const char*>(expected), sizeof expected));
}

TEST(Zelgencat, ReadsTheSourceFormat) {
  const std::string source =
      "$ a comment\n"
      "$set 2 the service host\n"
      "1 plain text\n"
      "2\tafter a tab\n"
      "3 esc\\n\\t\\\\\\101\\7x\n"
      "4 one \\\n"
      "two\n"
      "5 \n"
      "6\n"
      "$quote \"\n"
      "7 \"  kept  \\\"quoted\\\" \"  \n"
      "8 unquoted \"inner\"\n"
      "9 \"a \\\n"
      "b\"\r\n"
      "$quote\n"
      "10 \"raw\"\n"
      "11 日本語のテキスト\n"
      "$set 3\n"
      "1 gone\n"
      "$set 4\n"
      "1 kept\n"
      "$delset 3\n";
  struct Expected {
    std::uint32_t set, id;
    const char* text;
  } expected[] = {
      {2, 1, "plain text"},
      {2, 2, "after a tab"},
      {2, 3, "esc\n\t\\A\ax"},
      {2, 4, "one two"},
      {2, 5, ""},
      {2, 7, "  kept  \"quoted\" "},
      {2, 8, "unquoted \"inner\""},
      {2, 9, "a b"},
      {2, 10, "\"raw\""},
      {2, 11, "日本語のテキスト"},
      {4, 1, "kept"},
  };
  MessageCatalog catalog;
  std::string error;
  ASSERT_TRUE(parse(source, catalog, error)) << error;
  std::size_t n = 0;
  for (const SourceSet& set : catalog.sets)
    for (const SourceMessage& m : set.messages) {
      ASSERT_LT(n, std::size(expected));
      EXPECT_EQ(set.id, expected[n].set);
      EXPECT_EQ(m.id, expected[n].id);
      EXPECT_EQ(m.text, expected[n].text) << m.id;
      ++n;
    }
  EXPECT_EQ(n, std::size(expected));
}

TEST(Zelgencat, SkipsAByteOrderMark) {
  MessageCatalog catalog;
  std::string error;
  ASSERT_TRUE(parse("\xEF\xBB\xBF$set 3\r\n1 text\r\n", catalog, error)) << error;
  ASSERT_EQ(catalog.sets.size(), 1u);
  EXPECT_EQ(catalog.sets[0].id, 3u);
  EXPECT_EQ(catalog.sets[0].messages.at(0).text, "text");
}

TEST(Zelgencat, ReportsBadInputWithFileAndLine) {
  const zaq_test::TextCase cases[] = {
      {"1 before\n", "in.msg:1: message 1 before any $set"},
      {"$set 1\n2 a\n2 b\n", "in.msg:3: message 2 is defined twice"},
      {"$set 1\n3 a\n2 b\n", "in.msg:3: message 2 comes after message 3"},
      {"$set 2\n$set 1\n", "in.msg:2: set 1 comes after set 2"},
      {"$set 2\n$set 2\n", "in.msg:2: set 2 is defined twice"},
      {"$set 1\n1 \xC3\x28\n", "in.msg:2: invalid UTF-8"},
      {"$set 1\n1 \xED\xA0\x80\n", "in.msg:2: invalid UTF-8"},
      {"$set 1\n1 \xC0\xAF\n", "in.msg:2: invalid UTF-8"},
      {"$set 1\n1 \\377\n", "in.msg:2: message 1 is not valid UTF-8"},
      {"$set 1\n1 a\\000b\n", "in.msg:2: \\0 would end the message"},
      {"$set 1\n1 \\400\n", "in.msg:2: octal escape above \\377"},
      {"$set 1\n1 \\q\n", "in.msg:2: unknown escape \\q"},
      {"$set 1\n$quote \"\n1 \"open\n", "in.msg:3: missing closing quote"},
      {"$set 1\n$quote \"\n1 \"a\" b\n", "in.msg:3: text after the closing quote"},
      {"$set 1\n1 a\\\n", "in.msg:2: continuation at the end of the file"},
      {"$set 1\nx text\n", "in.msg:2: message line: expected a number"},
      {"$set 1\n1x text\n", "in.msg:2: expected a space or tab after message number 1"},
      {"$set 1\n0 zero\n", "in.msg:2: message line: numbers start at 1"},
      {"$set 1\n2147483648 big\n", "in.msg:2: message line: number too large"},
      {"$set\n", "in.msg:1: $set: expected a number"},
      {"$set 1x\n", "in.msg:1: $set: expected a number"},
      {"$sett 1\n", "in.msg:1: unknown directive $sett"},
      {"$set 1\n1 a\n$delset 1\n2 b\n", "in.msg:4: message 2 before any $set"},
  };
  for (const auto& c : cases) {
    MessageCatalog catalog;
    std::string error;
    EXPECT_FALSE(parse(c.input, catalog, error)) << c.input;
    EXPECT_EQ(error.substr(0, std::strlen(c.expected)), c.expected) << c.input;
  }
}

TEST(Zelgencat, RoundTripsThroughTheDumpByteForByte) {
  std::filesystem::path dir = scratch("roundtrip");
  std::ofstream(dir / "a.msg") << "$quote \"\n$set 1\n1 \"tab\\there\\nnew \\\"q\\\" back\\\\slash\"\n"
                                  "3 \"ctl\\001\\177 é 日本\"\n7 \"\"\n$set 5\n";
  std::ofstream(dir / "b.msg") << "2 \"from the next file\"\n$set 9\n1 last\n";
  std::string catalog = (dir / "a.cat").string();
  ASSERT_EQ(compileCatalog(catalog, {(dir / "a.msg").string(), (dir / "b.msg").string()}, stderr), 0);
  std::FILE* dump = std::fopen((dir / "dump.msg").string().c_str(), "wb");
  ASSERT_NE(dump, nullptr);
  EXPECT_EQ(dumpCatalog(catalog, dump, stderr), 0);
  std::fclose(dump);
  std::string again = (dir / "again.cat").string();
  ASSERT_EQ(compileCatalog(again, {(dir / "dump.msg").string()}, stderr), 0);
  EXPECT_EQ(readFile(again), readFile(catalog));
  MessageCatalog decoded;
  std::string error;
  ASSERT_TRUE(decodeCatalog(readFile(catalog), decoded, error)) << error;
  ASSERT_EQ(decoded.sets.size(), 3u);
  EXPECT_EQ(decoded.sets[1].id, 5u);
  ASSERT_EQ(decoded.sets[1].messages.size(), 1u);
  EXPECT_EQ(decoded.sets[1].messages[0].text, "from the next file");
}

TEST(Zelgencat, LeavesNoCatalogBehindOnError) {
  std::filesystem::path dir = scratch("errors");
  std::ofstream(dir / "good.msg") << "$set 1\n1 fine\n";
  std::ofstream(dir / "bad.msg") << "$set 2\n1 \xFF\n";
  std::ofstream(dir / "empty.msg") << "$ nothing\n";
  std::string catalog = (dir / "out.cat").string();
  std::FILE* quiet = std::fopen((dir / "errors.txt").string().c_str(), "w");
  EXPECT_NE(compileCatalog(catalog, {(dir / "good.msg").string(), (dir / "bad.msg").string()}, quiet), 0);
  EXPECT_NE(compileCatalog(catalog, {(dir / "missing.msg").string()}, quiet), 0);
  EXPECT_NE(compileCatalog(catalog, {(dir / "empty.msg").string()}, quiet), 0);
  std::fclose(quiet);
  EXPECT_FALSE(std::filesystem::exists(catalog));
  EXPECT_FALSE(std::filesystem::exists(catalog + ".tmp"));
  EXPECT_NE(readFile(dir / "errors.txt").find("bad.msg:2: invalid UTF-8"), std::string::npos);
}

TEST(Zelgencat, DumpRefusesMalformedImages) {
  MessageCatalog catalog;
  std::string error;
  ASSERT_TRUE(parse("$set 1\n1 ab\n2 cd\n$set 2\n1 x\n", catalog, error));
  std::string image = encodeCatalog(catalog);
  for (std::size_t length = 0; length < image.size(); ++length) {
    MessageCatalog decoded;
    EXPECT_FALSE(decodeCatalog(image.substr(0, length), decoded, error)) << length;
  }
  std::string looped = image;
  const std::size_t set1 = zel::writtenSetRecordAt(0);
  zel::putBigEndianAt(looped, set1 + zel::SET_NEXT_AT, static_cast<std::uint32_t>(set1));  // at itself
  zel::putBigEndianAt(looped, set1 + zel::SET_SKIP_AT, 1);                                 // and skipped
  MessageCatalog decoded;
  EXPECT_FALSE(decodeCatalog(looped, decoded, error));
}

TEST(Zelgencat, CheckReportsEveryProblemWithFileAndLine) {
  std::filesystem::path dir = scratch("check");
  std::string reference = (dir / "en.msg").string(), broken = (dir / "fr.msg").string(),
              good = (dir / "de.msg").string();
  std::ofstream(reference) << "$quote \"\n$set 2\n1 \"%s started\"\n2 \"two \\\n%d\"\n3 \"three\"\n"
                              "$set 3\n1 \"only in the reference\"\n";
  std::ofstream(broken)
      << "$quote \"\n$set 2\n1 \"%d démarré\"\n3 \"trois\"\n4 \"quatre\"\n$set 4\n1 \"x\"\n";
  std::ofstream(good) << "$quote \"\n$set 2\n1 \"%s gestartet\"\n2 \"zwei %d\"\n3 \"drei\"\n"
                         "$set 3\n1 \"eins\"\n";
  std::FILE* err = std::fopen((dir / "report.txt").string().c_str(), "w");
  ASSERT_NE(err, nullptr);
  EXPECT_EQ(checkTranslations(reference, {good}, err), 0);
  EXPECT_NE(checkTranslations(reference, {good, broken}, err), 0);
  std::fclose(err);
  EXPECT_EQ(readFile(dir / "report.txt"),
            broken + ":3: message 1 of set 2: printf conversions %d differ from %s at " + reference + ":3\n" +
                reference + ":4: message 2 of set 2 is missing from " + broken + "\n" + broken +
                ":5: message 4 of set 2 is not in " + reference + "\n" + reference +
                ":8: message 1 of set 3 is missing from " + broken + "\n" + broken +
                ":7: message 1 of set 4 is not in " + reference + "\n");
}

}  // namespace
