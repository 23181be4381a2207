#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "zel/catalog_test_support.h"
#include "zel/catalogs.h"

namespace {

using zeltest::buildCatalog;
using zeltest::putWordAt;

// The smallest useful catalog: one set with the texts "ab" and "cd".
const unsigned char minimalCatalog[86] = {
    '*', 'n', 'a', 'z', 'g', 'u', 'l', '*', 0, 0, 0, 1, 0, 0, 0,   0,   0, 0,   0,   0, 0, 0,
    0,   1,   0,   0,   0,   28,  0,   0,   0, 1, 0, 0, 0, 0, 0,   0,   0, 56,  0,   0, 0, 80,
    0,   0,   0,   6,   0,   0,   0,   2,   0, 0, 0, 0, 0, 0, 0,   1,   0, 0,   0,   0, 0, 0,
    0,   0,   0,   0,   0,   2,   0,   0,   0, 3, 0, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 0};

std::string writeCatalog(const std::string& name, const std::string& bytes) {
  std::string path = (zeltest::scratchDir() / name).string();
  zeltest::writeFile(path, bytes);
  return path;
}

TEST(CatalogFile, MinimalCatalogAnswersItsTwoMessages) {
  std::string bytes(reinterpret_cast<const char*>(minimalCatalog), sizeof minimalCatalog);
  EXPECT_EQ(bytes, buildCatalog({{1, {{1, "ab"}, {2, "cd"}}}}));
  zel::CatalogHandle handle = zel::catopen(writeCatalog("minimal.cat", bytes).c_str(), 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  const char* fallback = "default";
  EXPECT_STREQ(zel::catgets(handle, 1, 1, fallback), "ab");
  EXPECT_STREQ(zel::catgets(handle, 1, 2, fallback), "cd");
  struct {
    int set, msg;
  } absent[] = {{1, 3}, {2, 1}, {1, 0}, {1, -1}, {-1, 1}, {0, 1}};
  for (auto a : absent)
    EXPECT_EQ(zel::catgets(handle, a.set, a.msg, fallback), fallback) << a.set << "/" << a.msg;
  EXPECT_EQ(zel::catgets(handle, 1, 3, nullptr), nullptr);
  EXPECT_EQ(zel::catgets(zel::CAT_INVALID_HANDLE, 1, 1, fallback), fallback);
}

TEST(CatalogFile, RefusesBadHeaders) {
  std::string good = buildCatalog({{1, {{1, "ab"}}}});
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  } cases[] = {
      {"version 2", 8, 2},        {"magic", 4, 0x756c2b00},      {"no sets", 20, 0},
      {"negative sets", 20, ~0u}, {"more sets than fit", 20, 2}, {"first set past the end", 24, 1000},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    putWordAt(bytes, c.offset, c.value);
    if (std::string(c.what) == "magic") bytes[7] = '+';
    std::string path =
        writeCatalog(std::string("bad-") + std::to_string(c.offset) + "-" + std::to_string(c.value), bytes);
    EXPECT_EQ(zel::catopen(path.c_str(), 0), zel::CAT_INVALID_HANDLE) << c.what;
  }
}

TEST(CatalogFile, SkippedSetRecordsArePassedOver) {
  // Chain: set 1 -> skipped record (claims set 9) -> set 2.
  std::string bytes = buildCatalog({{1, {{1, "one"}}}, {9, {{1, "skipped"}}}, {2, {{1, "two"}}}});
  putWordAt(bytes, 20, 2);
  putWordAt(bytes, 28 + 28 + 24, 1);
  zel::CatalogHandle handle = zel::catopen(writeCatalog("skip.cat", bytes).c_str(), 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  EXPECT_EQ(reinterpret_cast<zel::Catalog*>(handle)->setCount, 2);
  EXPECT_STREQ(zel::catgets(handle, 1, 1, "x"), "one");
  EXPECT_STREQ(zel::catgets(handle, 2, 1, "x"), "two");
  EXPECT_STREQ(zel::catgets(handle, 9, 1, "x"), "x");
}

TEST(CatalogFile, LoopingSetChainsAreRefused) {
  std::string base = buildCatalog({{1, {{1, "one"}}}, {2, {{1, "two"}}}, {3, {{1, "three"}}}});
  const std::size_t second = 56, third = 84;
  struct Patch {
    std::size_t offset;
    std::uint32_t value;
  };
  struct Case {
    const char* what;
    std::vector<Patch> patches;
  } cases[] = {
      {"skipped record pointing at itself", {{second + 24, 1}, {second + 4, second}}},
      // Sets need not ascend, so the loop shows only once it is followed
      // past the count of the sets it holds.
      {"back to the first set", {{second + 4, 28}, {20, 4}}},
      {"skipped records in a ring", {{second + 24, 1}, {third + 24, 1}, {third + 4, second}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string bytes = base;
    for (const Patch& p : c.patches) putWordAt(bytes, p.offset, p.value);
    std::string path = writeCatalog("loop" + std::to_string(n++) + ".cat", bytes);
    EXPECT_EQ(zel::catopen(path.c_str(), 0), zel::CAT_INVALID_HANDLE) << c.what;
  }
}

// A file cut at any length either fails to open or answers with the right
// text or the default, never anything else.
TEST(CatalogFile, EveryTruncationIsHandled) {
  std::vector<zeltest::TestSet> sets = {{1, {{1, "first"}, {2, "second"}}},
                                        {3, {{4, "fourth"}, {7, "seventh"}}}};
  std::string full = buildCatalog(sets);
  std::filesystem::path dir = zeltest::scratchDir();
  int opened = 0;
  for (std::size_t length = 0; length <= full.size(); ++length) {
    std::string path = (dir / ("cut" + std::to_string(length) + ".cat")).string();
    zeltest::writeFile(path, full.substr(0, length));
    zel::CatalogHandle handle = zel::catopen(path.c_str(), 0);
    if (handle == zel::CAT_INVALID_HANDLE) continue;
    ++opened;
    for (const auto& set : sets)
      for (const auto& m : set.messages) {
        const char* text = zel::catgets(handle, set.id, m.id, "default");
        if (length == full.size())
          EXPECT_EQ(text, m.text);
        else
          EXPECT_TRUE(text == m.text || std::string(text) == "default") << length << ": " << text;
      }
    EXPECT_EQ(zel::catclose(handle), 0);
  }
  // Opening needs the header and both set records; loading needs the rest.
  EXPECT_EQ(opened, static_cast<int>(full.size() - (28 + 2 * 28) + 1));
}

TEST(CatalogFile, CorruptSetDataLeavesTheSetUnloaded) {
  std::vector<zeltest::TestSet> sets = {{1, {{1, "one"}, {2, "two"}}}, {2, {{1, "other"}}}};
  std::string base = buildCatalog(sets);
  const std::size_t set1 = 28, table1 = 28 + 2 * 28;
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  } cases[] = {
      {"message table past the end", set1 + 8, 0xfffffff0},
      {"string area past the end", set1 + 12, 0xfffffff0},
      {"string area size too large", set1 + 16, 0x7fffffff},
      {"message count too large", set1 + 20, 0x40000000},
      {"text offset outside the strings", table1 + 4, 8},
      {"text offset far outside", table1 + 4, 0xffffffff},
      {"text without its terminator", set1 + 16, 6},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string bytes = base;
    putWordAt(bytes, c.offset, c.value);
    std::string path = writeCatalog("corrupt" + std::to_string(n++) + ".cat", bytes);
    zel::CatalogHandle handle = zel::catopen(path.c_str(), 0);
    ASSERT_NE(handle, zel::CAT_INVALID_HANDLE) << c.what;
    EXPECT_STREQ(zel::catgets(handle, 1, 1, "default"), "default") << c.what;
    EXPECT_STREQ(zel::catgets(handle, 1, 2, "default"), "default") << c.what;
    EXPECT_EQ(reinterpret_cast<zel::Catalog*>(handle)->sets[0].state, zel::CATALOG_SET_UNLOADED) << c.what;
    EXPECT_STREQ(zel::catgets(handle, 2, 1, "default"), "other") << c.what;
  }
}

// Other catalog compilers need not number sets or messages in ascending order
// nor give each message a text of its own; such catalogs read, and the
// searches find what their probes meet.
TEST(CatalogFile, CatalogsFromOtherCompilersRead) {
  struct Shared {
    std::size_t message;  // index in the set's message table
    std::uint32_t offset;
  };
  struct Expected {
    int set, msg;
    const char* text;
  };
  struct Case {
    const char* what;
    std::vector<zeltest::TestSet> sets;
    std::vector<Shared> shared;  // text offsets of the first set rewritten
    std::vector<Expected> expected;
  } cases[] = {
      {"sets out of order", {{5, {{1, "five"}}}, {3, {{1, "three"}}}}, {}, {{5, 1, "five"}}},
      {"a set numbered above 0x7FFFFFFF",
       {{1, {{1, "one"}}}, {0x80000000u, {{1, "high"}}}},
       {},
       {{1, 1, "one"}, {-2147483647 - 1, 1, "default"}}},
      {"repeated message numbers", {{1, {{1, "aa"}, {1, "bb"}, {2, "cc"}}}}, {}, {{1, 1, "aa"}}},
      {"message numbers out of order",
       {{1, {{3, "three"}, {1, "one"}, {7, "seven"}}}},
       {},
       {{1, 7, "seven"}}},
      {"messages sharing one text",
       {{1, {{1, "shared"}, {2, "x"}, {3, ""}, {4, ""}, {5, ""}}}},
       {{2, 0}, {3, 0}, {4, 7}},
       {{1, 1, "shared"}, {1, 2, "x"}, {1, 3, "shared"}, {1, 4, "shared"}, {1, 5, "x"}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string bytes = buildCatalog(c.sets);
    const std::size_t table1 = 28 + 28 * c.sets.size();
    for (const Shared& s : c.shared) putWordAt(bytes, table1 + 12 * s.message + 4, s.offset);
    zel::CatalogHandle handle =
        zel::catopen(writeCatalog("other" + std::to_string(n++) + ".cat", bytes).c_str(), 0);
    if (handle == zel::CAT_INVALID_HANDLE) {
      ADD_FAILURE() << c.what << ": refused";
      continue;
    }
    for (const Expected& e : c.expected)
      EXPECT_STREQ(zel::catgets(handle, e.set, e.msg, "default"), e.text)
          << c.what << " " << e.set << "/" << e.msg;
    EXPECT_EQ(reinterpret_cast<zel::Catalog*>(handle)->sets[0].state, zel::CATALOG_SET_LOADED) << c.what;
  }
}

TEST(CatalogFile, EmptyAndSharedTextsLoad) {
  std::string bytes = buildCatalog({{1, {{1, ""}, {2, "x"}}}, {2, {}}});
  zel::CatalogHandle handle = zel::catopen(writeCatalog("empty.cat", bytes).c_str(), 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  EXPECT_STREQ(zel::catgets(handle, 1, 1, "d"), "");
  EXPECT_STREQ(zel::catgets(handle, 1, 2, "d"), "x");
  EXPECT_STREQ(zel::catgets(handle, 2, 1, "d"), "d");
}

}  // namespace

namespace {

// Loaded sets answer through the direct index when densely numbered, through
// the guided search otherwise; both must agree with the numbering.
TEST(CatalogFile, LookupsOverDenseGappedAndSparseNumberings) {
  struct Case {
    const char* kind;
    std::vector<std::uint32_t> ids;
    bool indexed;
  } cases[] = {
      {"dense", {1, 2, 3, 4, 5, 6, 7, 8}, true},
      {"gapped", {5, 7, 8, 9, 11, 12, 20, 27}, true},
      {"sparse", {3, 100, 2000, 70000, 1000000}, false},
  };
  for (const Case& c : cases) {
    zeltest::TestSet set{2, {}};
    for (std::uint32_t id : c.ids) set.messages.push_back({id, "m" + std::to_string(id)});
    zel::CatalogHandle handle =
        zel::catopen(writeCatalog(std::string(c.kind) + ".cat", buildCatalog({set})).c_str(), 0);
    ASSERT_NE(handle, zel::CAT_INVALID_HANDLE) << c.kind;
    const char* fallback = "default";
    for (std::uint32_t want = 0; want <= c.ids.back() + 2; want += want < 64 ? 1 : 997) {
      bool present = std::find(c.ids.begin(), c.ids.end(), want) != c.ids.end();
      std::string expected = present ? "m" + std::to_string(want) : fallback;
      EXPECT_EQ(zel::catgets(handle, 2, static_cast<int>(want), fallback), expected) << c.kind << " " << want;
    }
    for (std::uint32_t id : c.ids)
      EXPECT_EQ(zel::catgets(handle, 2, static_cast<int>(id), fallback), "m" + std::to_string(id)) << c.kind;
    const zel::CatalogSet& loaded = reinterpret_cast<zel::Catalog*>(handle)->sets[0];
    EXPECT_EQ(loaded.directSpan > 0, c.indexed) << c.kind;
    EXPECT_EQ(zel::catgets(handle, 2, -5, fallback), fallback);
  }
}

}  // namespace
