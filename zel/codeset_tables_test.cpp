#include "zel/codeset_tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "zel/codeset_table_builder.h"
#include "zel/converter_test_support.h"

namespace {

using zel::tablebuild::TableHeader;

std::vector<unsigned char> smallTable(const std::string& name) {
  std::vector<std::uint32_t> entries(65536, 0x1A);
  return zel::tablebuild::buildRowTable(TableHeader{name, zel::CT_SBCS, 0, 0x1A, 0x1A}, entries, {},
                                        zeltest::noDecoding());
}

// Loads prefix + name and reports the loaded table's stored name, or "".
std::string loadedName(const std::string& prefix, const std::string& name) {
  zel::CodesetTable t = zel::loadCodesetTable(prefix.c_str(), name.c_str());
  if (t.image == nullptr) return "";
  std::string stored(reinterpret_cast<const char*>(t.image + zel::TABLE_NAME_OFFSET));
  std::free(t.image);
  return stored;
}

TEST(LoadCodesetTable, SizeAndMagicDecideWhatIsATable) {
  std::string dir = zeltest::scratchDir("load_size") + "/";
  std::vector<unsigned char> exact =
      zel::tablebuild::buildHeader(TableHeader{"EXACT", 7, 0, 0x1A, 0x1A}, zeltest::noDecoding());
  ASSERT_EQ(exact.size(), 1760u);
  zeltest::writeFile(dir + "EXACT", exact);
  EXPECT_EQ(loadedName(dir, "EXACT"), "EXACT");
  std::vector<unsigned char> shorter(exact.begin(), exact.end() - 1);
  zeltest::writeFile(dir + "SHORT", shorter);
  EXPECT_EQ(loadedName(dir, "SHORT"), "") << "1759 bytes are a redirect, to a name that is no file";
  std::vector<unsigned char> wrongMagic = exact;
  wrongMagic[10] = 'w';
  zeltest::writeFile(dir + "MAGIC", wrongMagic);
  EXPECT_EQ(loadedName(dir, "MAGIC"), "");
  EXPECT_EQ(loadedName(dir, "MISSING"), "");
}

TEST(LoadCodesetTable, RedirectsWithinTheSameDirectory) {
  std::string dir = zeltest::scratchDir("load_redirect") + "/";
  zeltest::writeFile(dir + "REAL", smallTable("REAL"));
  zeltest::writeFile(dir + "ONE", std::string("REAL\r\n"));
  zeltest::writeFile(dir + "SPACED", std::string(" R E\tA L \n"));
  zeltest::writeFile(dir + "EMPTY", std::string(" \n"));
  // R1 -> R2 -> R3 -> R4 -> REAL: four redirects, then the table.
  zeltest::writeFile(dir + "R4", std::string("REAL"));
  zeltest::writeFile(dir + "R3", std::string("R4"));
  zeltest::writeFile(dir + "R2", std::string("R3"));
  zeltest::writeFile(dir + "R1", std::string("R2"));
  zeltest::writeFile(dir + "R0", std::string("R1"));
  zeltest::writeFile(dir + "LOOP", std::string("LOOP"));
  EXPECT_EQ(loadedName(dir, "ONE"), "REAL");
  EXPECT_EQ(loadedName(dir, "SPACED"), "REAL");
  EXPECT_EQ(loadedName(dir, "EMPTY"), "") << "opens the directory itself, which fails";
  EXPECT_EQ(loadedName(dir, "R1"), "REAL");
  EXPECT_EQ(loadedName(dir, "R0"), "") << "five redirect files yield no table";
  EXPECT_EQ(loadedName(dir, "LOOP"), "");
}

TEST(LoadCodesetTable, PathLengthLimit) {
  std::string dir = zeltest::scratchDir("load_long") + "/";
  zeltest::writeFile(dir + "T", smallTable("T"));
  std::string padded = dir;
  while (padded.size() + 1 + 2 < 255) padded += "./";
  if (padded.size() + 1 + 2 > 255) padded.resize(padded.size() - 2);
  ASSERT_LE(padded.size() + 1 + 2, 255u);
  EXPECT_EQ(loadedName(padded, "T"), "T");
  EXPECT_EQ(loadedName(padded + "./", "T"), "") << "prefix + name + 2 over 255";
}

TEST(FindCodesetTable, DirectoryOrder) {
  std::string root = zeltest::scratchDir("find_order");
  std::string zelDir = root + "/zel", binDir = root + "/inst/bin", cwd = root + "/cwd";
  for (const std::string& d : {zelDir + "/codeset", binDir, root + "/inst/generic/codeset", cwd})
    std::filesystem::create_directories(d);
  zeltest::writeFile(zelDir + "/codeset/T", smallTable("ZELCODESET"));
  zeltest::writeFile(zelDir + "/T", smallTable("ZELDIR"));
  zeltest::writeFile(root + "/inst/generic/codeset/T", smallTable("BINDIR"));
  zeltest::writeFile(cwd + "/T", smallTable("CWD"));
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(cwd);
  auto found = [] {
    zel::CodesetTable t = zel::findCodesetTable("T");
    std::string name = t.image ? reinterpret_cast<const char*>(t.image + zel::TABLE_NAME_OFFSET) : "";
    std::free(t.image);
    return name;
  };
  {
    zeltest::ScopedVariable z("ZELDIR", zelDir.c_str());
    zeltest::ScopedVariable b("BINDIR", binDir.c_str());
    EXPECT_EQ(found(), "ZELCODESET");
    std::filesystem::remove(zelDir + "/codeset/T");
    EXPECT_EQ(found(), "ZELDIR");
    std::filesystem::remove(zelDir + "/T");
    EXPECT_EQ(found(), "BINDIR");
    std::filesystem::remove(root + "/inst/generic/codeset/T");
    EXPECT_EQ(found(), "CWD");
  }
  {
    zeltest::ScopedVariable z("ZELDIR", nullptr);
    zeltest::ScopedVariable b("BINDIR", nullptr);
    EXPECT_EQ(found(), "CWD") << "only the current directory is searched";
    std::filesystem::remove(cwd + "/T");
    EXPECT_EQ(found(), "");
  }
  std::filesystem::current_path(previous);
}

TEST(FindCodesetTable, LongZelDirSkipsOnlyTheCodesetSubdirectory) {
  std::string root = zeltest::scratchDir("find_long");
  // A ZELDIR value of 245 characters: + 10 reaches 255, + 2 does not.
  std::string zelDir = root + "/" + std::string(245 - root.size() - 1, 'd');
  ASSERT_EQ(zelDir.size(), 245u);
  std::filesystem::create_directories(zelDir + "/codeset");
  zeltest::writeFile(zelDir + "/codeset/T", smallTable("SUB"));
  zeltest::writeFile(zelDir + "/T", smallTable("TOP"));
  zeltest::ScopedVariable z("ZELDIR", zelDir.c_str());
  zeltest::ScopedVariable b("BINDIR", nullptr);
  zel::CodesetTable t = zel::findCodesetTable("T");
  ASSERT_NE(t.image, nullptr);
  EXPECT_STREQ(reinterpret_cast<const char*>(t.image + zel::TABLE_NAME_OFFSET), "TOP");
  std::free(t.image);
}

// Every generated table, cut at every length, is refused without a read
// outside what was loaded (AddressSanitizer watches the heap copy).
TEST(CodesetTableCheck, EveryTruncationIsRefused) {
  std::vector<std::vector<unsigned char>> tables;
  tables.push_back(smallTable("S"));
  std::vector<std::uint32_t> mbcs(65536, 0xFFFFFFFFu);
  mbcs[0x4E02] = 0x0001B0A1;
  tables.push_back(zel::tablebuild::buildRowTable(TableHeader{"M", zel::CT_MBCS, 0, 0x1A, 0x1A}, mbcs,
                                                  {{}, {0x8F}}, zeltest::noDecoding()));
  std::vector<std::int32_t> index(0x10000, -1);
  for (unsigned u = 0x4E00; u < 0x4F00; ++u) index[u] = static_cast<std::int32_t>((u * 7) % 20000 + 1);
  tables.push_back(zel::tablebuild::buildGbTable(TableHeader{"G", zel::CT_GB18030, 0, 0x1A, 0x1A},
                                                 zel::tablebuild::gbRangesFromIndexes(index),
                                                 zeltest::noDecoding()));
  for (const auto& table : tables) {
    ASSERT_TRUE(zel::codesetTableIsSound(table.data(), table.size()));
    for (std::size_t n = 0; n < table.size(); ++n) {
      std::vector<unsigned char> cut(table.begin(), table.begin() + static_cast<std::ptrdiff_t>(n));
      // A fresh heap block of exactly n bytes, so any read past it is caught.
      auto* block = static_cast<unsigned char*>(std::malloc(n > 0 ? n : 1));
      if (n > 0) std::memcpy(block, cut.data(), n);
      EXPECT_FALSE(zel::codesetTableIsSound(block, n)) << "cut at " << n;
      std::free(block);
    }
  }
}

// Header fields and indexes pointing outside the image.
TEST(CodesetTableCheck, IndexesOutsideTheImageAreRefused) {
  using zel::tablebuild::putLe16;
  using zel::tablebuild::putLe32;
  struct Case {
    const char* what;
    std::uint16_t type;
    void (*spoil)(std::vector<unsigned char>&);
  } cases[] = {
      {"mapping area beyond the end", zel::CT_SBCS,
       [](std::vector<unsigned char>& t) { putLe32(t, 0, static_cast<std::uint32_t>(t.size() + 1)); }},
      {"mapping area near 4 GiB", zel::CT_SBCS,
       [](std::vector<unsigned char>& t) { putLe32(t, 0, 0xFFFFFFF0u); }},
      {"row position past the end", zel::CT_SBCS,
       [](std::vector<unsigned char>& t) { putLe16(t, 224 + 2 * 0x4E, 0xFFFF); }},
      {"last row cut short", zel::CT_DBCS, [](std::vector<unsigned char>& t) { t.resize(t.size() - 1); }},
      {"prefix record past the end", zel::CT_MBCS,
       [](std::vector<unsigned char>& t) {
         std::size_t at = zel::readLe32(t.data()) + 4 * zel::readLe16(&t[224 + 2 * 0x4E]) + 4 * 2;
         putLe16(t, at, 0x7FFF);
       }},
      {"prefix length over 14", zel::CT_MBCS,
       [](std::vector<unsigned char>& t) { putLe16(t, zel::readLe32(t.data()) + 16 + 14, 15); }},
      {"GB extension beyond the end", zel::CT_GB18030,
       [](std::vector<unsigned char>& t) { putLe16(t, 38, static_cast<std::uint32_t>(t.size() - 31)); }},
      {"GB directory beyond D", zel::CT_GB18030,
       [](std::vector<unsigned char>& t) { putLe32(t, zel::readLe16(&t[38]) + 4, 0xFFFFFF00u); }},
      {"GB records beyond D", zel::CT_GB18030,
       [](std::vector<unsigned char>& t) { putLe32(t, zel::readLe16(&t[38]), 0x7FFFFFFFu); }},
      {"GB values beyond D", zel::CT_GB18030,
       [](std::vector<unsigned char>& t) { putLe32(t, zel::readLe16(&t[38]) + 8, 0xFFFFFFFFu); }},
      {"GB list without its end record", zel::CT_GB18030,
       [](std::vector<unsigned char>& t) {
         // Drop everything after the first record, so scans run off D.
         std::size_t e = zel::readLe16(&t[38]);
         putLe32(t, e + 4, 0);
         t.resize(e + 32 + 2 * 128);
         for (std::size_t i = 0; i < 128; ++i) putLe16(t, e + 32 + 2 * i, 0);
         putLe16(t, e + 32, 0x80);
         putLe16(t, e + 34, 0x90);
       }},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> table;
    if (c.type == zel::CT_GB18030) {
      std::vector<std::int32_t> index(0x10000, -1);
      for (unsigned u = 0x4E00; u < 0x4E40; ++u)
        index[u] = static_cast<std::int32_t>((u * 7) % 3000 + 1);  // kind-1 records
      table =
          zel::tablebuild::buildGbTable(TableHeader{"G", c.type, 0, 0x1A, 0x1A},
                                        zel::tablebuild::gbRangesFromIndexes(index), zeltest::noDecoding());
    } else {
      std::vector<std::uint32_t> entries(65536, c.type == zel::CT_MBCS ? 0xFFFFFFFFu : 0x1A);
      entries[0x4E02] = c.type == zel::CT_MBCS ? 0x0001B0A1 : 0x1A;
      table = zel::tablebuild::buildRowTable(TableHeader{"T", c.type, 0, 0x1A, 0x1A}, entries, {{}, {0x8F}},
                                             zeltest::noDecoding());
    }
    ASSERT_TRUE(zel::codesetTableIsSound(table.data(), table.size())) << c.what;
    c.spoil(table);
    EXPECT_FALSE(zel::codesetTableIsSound(table.data(), table.size())) << c.what;
  }
}

TEST(CodesetTableCheck, TypesWithoutRowsNeedOnlyTheHeader) {
  for (std::uint16_t type : {6, 9, 5, 0}) {
    auto header = zel::tablebuild::buildHeader(TableHeader{"H", type, 0, 0x1A, 0x1A}, zeltest::noDecoding());
    zel::tablebuild::putLe32(header, 0, 0xFFFFFFFFu);
    EXPECT_TRUE(zel::codesetTableIsSound(header.data(), header.size())) << type;
  }
}

}  // namespace
