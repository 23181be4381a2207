#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "zel/catalog_format.h"
#include "zel/catalog_test_support.h"
#include "zel/catalogs.h"
#include "zel/converters.h"
#include "zel/zel_state.h"

namespace {

using zel::putBigEndianAt;
using zeltest::buildCatalog;

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
      {"version 2", zel::CATALOG_VERSION_AT, 2},
      {"magic", 4, 0x756c2b00},
      {"no sets", zel::CATALOG_SET_COUNT_AT, 0},
      {"negative sets", zel::CATALOG_SET_COUNT_AT, ~0u},
      {"more sets than fit", zel::CATALOG_SET_COUNT_AT, 2},
      {"first set past the end", zel::CATALOG_FIRST_SET_AT, 1000},
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    putBigEndianAt(bytes, c.offset, c.value);
    if (std::string(c.what) == "magic") bytes[7] = '+';
    std::string path =
        writeCatalog(std::string("bad-") + std::to_string(c.offset) + "-" + std::to_string(c.value), bytes);
    EXPECT_EQ(zel::catopen(path.c_str(), 0), zel::CAT_INVALID_HANDLE) << c.what;
  }
}

TEST(CatalogFile, SkippedSetRecordsArePassedOver) {
  // Chain: set 1 -> skipped record (claims set 9) -> set 2.
  std::string bytes = buildCatalog({{1, {{1, "one"}}}, {9, {{1, "skipped"}}}, {2, {{1, "two"}}}});
  putBigEndianAt(bytes, zel::CATALOG_SET_COUNT_AT, 2);
  putBigEndianAt(bytes, zel::writtenSetRecordAt(1) + zel::SET_SKIP_AT, 1);
  zel::CatalogHandle handle = zel::catopen(writeCatalog("skip.cat", bytes).c_str(), 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  EXPECT_EQ(reinterpret_cast<zel::Catalog*>(handle)->setCount, 2);
  EXPECT_STREQ(zel::catgets(handle, 1, 1, "x"), "one");
  EXPECT_STREQ(zel::catgets(handle, 2, 1, "x"), "two");
  EXPECT_STREQ(zel::catgets(handle, 9, 1, "x"), "x");
}

TEST(CatalogFile, LoopingSetChainsAreRefused) {
  std::string base = buildCatalog({{1, {{1, "one"}}}, {2, {{1, "two"}}}, {3, {{1, "three"}}}});
  const std::size_t first = zel::writtenSetRecordAt(0), second = zel::writtenSetRecordAt(1),
                    third = zel::writtenSetRecordAt(2);
  const std::size_t skip = zel::SET_SKIP_AT, next = zel::SET_NEXT_AT, count = zel::CATALOG_SET_COUNT_AT;
  struct Patch {
    std::size_t offset;
    std::uint32_t value;
  };
  struct Case {
    const char* what;
    std::vector<Patch> patches;
  } cases[] = {
      {"skipped record pointing at itself", {{second + skip, 1}, {second + next, second}}},
      // Sets need not ascend, so the loop shows only once it is followed
      // past the count of the sets it holds.
      {"back to the first set", {{second + next, first}, {count, 4}}},
      {"skipped records in a ring", {{second + skip, 1}, {third + skip, 1}, {third + next, second}}},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string bytes = base;
    for (const Patch& p : c.patches) putBigEndianAt(bytes, p.offset, p.value);
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
        const char* text = zel::catgets(handle, static_cast<int>(set.id), static_cast<int>(m.id), "default");
        if (length == full.size())
          EXPECT_EQ(text, m.text);
        else
          EXPECT_TRUE(text == m.text || std::string(text) == "default") << length << ": " << text;
      }
    EXPECT_EQ(zel::catclose(handle), 0);
  }
  // Opening needs the header and both set records; loading needs the rest.
  EXPECT_EQ(opened, static_cast<int>(full.size() - zel::writtenFirstTableAt(2) + 1));
}

TEST(CatalogFile, CorruptSetDataLeavesTheSetUnloaded) {
  std::vector<zeltest::TestSet> sets = {{1, {{1, "one"}, {2, "two"}}}, {2, {{1, "other"}}}};
  std::string base = buildCatalog(sets);
  const std::size_t set1 = zel::writtenSetRecordAt(0), table1 = zel::writtenFirstTableAt(2);
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  } cases[] = {
      {"message table past the end", set1 + zel::SET_MESSAGE_TABLE_AT, 0xfffffff0},
      {"string area past the end", set1 + zel::SET_STRING_AREA_AT, 0xfffffff0},
      {"string area size too large", set1 + zel::SET_STRING_AREA_SIZE_AT, 0x7fffffff},
      {"message count too large", set1 + zel::SET_MESSAGE_COUNT_AT, 0x40000000},
      {"text offset outside the strings", table1 + zel::MESSAGE_TEXT_OFFSET_AT, 8},
      {"text offset far outside", table1 + zel::MESSAGE_TEXT_OFFSET_AT, 0xffffffff},
      {"text without its terminator", set1 + zel::SET_STRING_AREA_SIZE_AT, 6},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string bytes = base;
    putBigEndianAt(bytes, c.offset, c.value);
    std::string path = writeCatalog("corrupt" + std::to_string(n++) + ".cat", bytes);
    zel::CatalogHandle handle = zel::catopen(path.c_str(), 0);
    ASSERT_NE(handle, zel::CAT_INVALID_HANDLE) << c.what;
    EXPECT_STREQ(zel::catgets(handle, 1, 1, "default"), "default") << c.what;
    EXPECT_STREQ(zel::catgets(handle, 1, 2, "default"), "default") << c.what;
    EXPECT_EQ(reinterpret_cast<zel::Catalog*>(handle)->sets[0].state, zel::CATALOG_SET_UNLOADED) << c.what;
    EXPECT_STREQ(zel::catgets(handle, 2, 1, "default"), "other") << c.what;
  }
}

// The messages a catalog written in this order holds: of a repeated set
// number the first set in file order, of a repeated message number in a set
// the first message in file order; negative set numbers and message numbers
// below 1 are never found.
std::map<std::pair<int, int>, std::string> messagesHeld(const std::vector<zeltest::TestSet>& sets) {
  std::map<std::pair<int, int>, std::string> held;
  std::set<std::uint32_t> setsSeen;
  for (const zeltest::TestSet& set : sets) {
    if (!setsSeen.insert(set.id).second || static_cast<std::int32_t>(set.id) < 0) continue;
    for (const zeltest::TestMessage& m : set.messages)
      if (static_cast<std::int32_t>(m.id) >= 1)
        held.emplace(std::make_pair(static_cast<int>(set.id), static_cast<int>(m.id)), m.text);
  }
  return held;
}

// A shuffled numbering, the same on every run.
std::vector<std::uint32_t> shuffled(std::uint32_t count, std::uint32_t first, std::uint32_t step) {
  std::vector<std::uint32_t> ids;
  for (std::uint32_t i = 0; i < count; ++i) ids.push_back(first + i * step);
  std::uint32_t state = 12345;
  for (std::uint32_t i = count; i > 1; --i) {
    state = state * 1103515245u + 12345u;
    std::swap(ids[i - 1], ids[(state >> 8) % i]);
  }
  return ids;
}

std::vector<zeltest::TestSet> shuffledCatalog(std::uint32_t setCount, std::uint32_t messageCount,
                                              std::uint32_t messageStep) {
  std::vector<zeltest::TestSet> sets;
  for (std::uint32_t setId : shuffled(setCount, 1, 1)) {
    zeltest::TestSet set{setId, {}};
    for (std::uint32_t id : shuffled(messageCount, 1, messageStep))
      set.messages.push_back({id, std::to_string(setId) + "/" + std::to_string(id)});
    sets.push_back(set);
  }
  return sets;
}

// A catalog whose sets or messages are not in ascending order, or repeat a
// number, is valid input (other compilers write such files): every message of
// every set is found, through catgets (the direct index where the numbering
// is dense) and through the guided search that converting lookups use.
TEST(CatalogFile, EveryMessageIsFoundWhateverTheOrder) {
  const std::uint32_t high = 0x80000000u;
  struct Case {
    const char* what;
    std::vector<zeltest::TestSet> sets;
  } cases[] = {
      {"sets 5, 3, 7",
       {{5, {{1, "5/1"}, {2, "5/2"}}}, {3, {{1, "3/1"}, {4, "3/4"}}}, {7, {{1, "7/1"}, {3, "7/3"}}}}},
      {"messages 2, 1, 3", {{1, {{2, "two"}, {1, "one"}, {3, "three"}}}}},
      {"messages 1, 1, 2", {{1, {{1, "first one"}, {1, "second one"}, {2, "two"}}}}},
      {"messages 3, 1, 7 and 3 again", {{1, {{3, "three"}, {1, "one"}, {7, "seven"}, {3, "again"}}}}},
      {"sets 2, 1, 2",
       {{2, {{1, "first 2/1"}}}, {1, {{1, "1/1"}}}, {2, {{1, "second 2/1"}, {2, "second 2/2"}}}}},
      {"sets 0, 9, 4 with numbers 0 and below",
       {{0, {{1, "0/1"}}},
        {9, {{0, "zero"}, {5, "9/5"}, {~0u, "minus one"}, {2, "9/2"}}},
        {4, {{1, "4/1"}}}}},
      {"a set numbered above 0x7FFFFFFF first",
       {{high, {{1, "high"}}}, {2, {{1, "2/1"}}}, {1, {{1, "1/1"}}}}},
      {"sparse messages out of order",
       {{1, {{70000, "a"}, {3, "b"}, {1000000, "c"}, {100, "d"}, {2000, "e"}, {4, "f"}}}}},
      {"30 sets of 60 messages, all shuffled", shuffledCatalog(30, 60, 1)},
      {"12 sets of 50 messages numbered 7 apart, shuffled", shuffledCatalog(12, 50, 7)},
  };
  int n = 0;
  for (const Case& c : cases) {
    zel::CatalogHandle handle =
        zel::catopen(writeCatalog("order" + std::to_string(n++) + ".cat", buildCatalog(c.sets)).c_str(), 0);
    if (handle == zel::CAT_INVALID_HANDLE) {
      ADD_FAILURE() << c.what << ": refused";
      continue;
    }
    zel::Catalog* catalog = reinterpret_cast<zel::Catalog*>(handle);
    ASSERT_NE(zel::utf8Converter(), nullptr);
    std::map<std::pair<int, int>, std::string> held = messagesHeld(c.sets);
    // Every message of every set, and the numbers around each that it lacks.
    for (const zeltest::TestSet& set : c.sets) {
      int setId = static_cast<int>(set.id);
      for (const zeltest::TestMessage& m : set.messages) {
        int id = static_cast<int>(m.id);
        for (int msgId : {id - 1, id, id + 1}) {
          auto found = held.find({setId, msgId});
          const char* expected = found != held.end() ? found->second.c_str() : "default";
          EXPECT_STREQ(zel::catgets(handle, setId, msgId, "default"), expected)
              << c.what << ": " << setId << "/" << msgId;
          EXPECT_STREQ(zel::catgetsConverted(catalog, setId, msgId, "default", zel::utf8Converter()),
                       expected)
              << c.what << ": " << setId << "/" << msgId << " searched";
        }
      }
    }
    EXPECT_EQ(zel::catclose(handle), 0);
  }
}

// Messages may share one text; each still reads its own.
TEST(CatalogFile, MessagesSharingOneTextRead) {
  zeltest::TestSet set{1, {{1, "shared"}, {2, "x"}, {3, ""}, {4, ""}, {5, ""}}};
  std::string bytes = buildCatalog({set});
  struct Shared {
    std::size_t message;  // index in the set's message table
    std::uint32_t offset;
  } shared[] = {{2, 0}, {3, 0}, {4, 7}};
  for (const Shared& s : shared)
    putBigEndianAt(bytes,
                   zel::writtenFirstTableAt(1) + zel::CATALOG_MESSAGE_RECORD_SIZE * s.message +
                       zel::MESSAGE_TEXT_OFFSET_AT,
                   s.offset);
  zel::CatalogHandle handle = zel::catopen(writeCatalog("shared.cat", bytes).c_str(), 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  const char* expected[] = {"shared", "x", "shared", "shared", "x"};
  for (int id = 1; id <= 5; ++id)
    EXPECT_STREQ(zel::catgets(handle, 1, id, "default"), expected[id - 1]) << id;
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
