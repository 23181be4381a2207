#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "zel/catalogs.h"

namespace {

std::vector<int> numbering(const char* kind) {
  std::string k = kind;
  std::vector<int> ids;
  if (k == "dense")
    for (int i = 1; i <= 40; ++i) ids.push_back(i);
  if (k == "gapped")
    for (int i = 1; i <= 60; ++i)
      if (i % 7 != 0 && (i < 20 || i > 30)) ids.push_back(i);
  if (k == "sparse")
    for (int i = 0; i < 25; ++i) ids.push_back(3 + i * i * 13);
  if (k == "single") ids.push_back(5);
  if (k == "from zero")
    for (int i = 0; i <= 9; ++i) ids.push_back(i * 2);
  return ids;
}

const char* const kinds[] = {"dense", "gapped", "sparse", "single", "from zero"};

TEST(CatalogLookup, FindMessageFindsExactlyWhatIsPresent) {
  for (const char* kind : kinds) {
    std::vector<int> ids = numbering(kind);
    std::vector<zel::CatalogMessage> messages(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) messages[i].msgId = ids[i];
    zel::CatalogSet set = {};
    set.messages = messages.data();
    set.messageCount = static_cast<std::uint32_t>(ids.size());
    set.state = zel::CATALOG_SET_LOADED;
    int top = ids.back() + 5;
    for (int want = -3; want <= top; ++want) {
      const zel::CatalogMessage* found = zel::findMessage(&set, want);
      bool present = want >= 1 && std::find(ids.begin(), ids.end(), want) != ids.end();
      if (present) {
        ASSERT_NE(found, nullptr) << kind << " " << want;
        EXPECT_EQ(found->msgId, want);
      } else {
        EXPECT_EQ(found, nullptr) << kind << " " << want;
      }
    }
    set.state = zel::CATALOG_SET_UNLOADED;
    EXPECT_EQ(zel::findMessage(&set, ids.back()), nullptr) << kind;
  }
}

TEST(CatalogLookup, FindSetFindsExactlyWhatIsPresent) {
  for (const char* kind : kinds) {
    std::vector<int> ids = numbering(kind);
    std::vector<zel::CatalogSet> sets(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
      sets[i] = {};
      sets[i].setId = ids[i];
      sets[i].state = zel::CATALOG_SET_LOADED;
    }
    zel::Catalog catalog = {};
    catalog.setCount = static_cast<std::int32_t>(ids.size());
    catalog.sets = sets.data();
    for (int want = -3; want <= ids.back() + 5; ++want) {
      const zel::CatalogSet* found = zel::findSet(&catalog, want);
      bool present = want >= 0 && std::find(ids.begin(), ids.end(), want) != ids.end();
      if (present) {
        ASSERT_NE(found, nullptr) << kind << " " << want;
        EXPECT_EQ(found->setId, want);
      } else {
        EXPECT_EQ(found, nullptr) << kind << " " << want;
      }
    }
  }
  EXPECT_EQ(zel::findSet(nullptr, 1), nullptr);
}

// Corrupt numbering (not ascending) must still end and stay inside the array.
TEST(CatalogLookup, UnorderedNumbersNeverLeaveTheArray) {
  std::vector<int> ids = {9, 3, 3, -4, 100, 0, 7, 2147483647, -2147483647 - 1, 5};
  std::vector<zel::CatalogMessage> messages(ids.size());
  std::vector<zel::CatalogSet> sets(ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    messages[i] = {};
    messages[i].msgId = ids[i];
    sets[i] = {};
    sets[i].setId = ids[i];
    sets[i].state = zel::CATALOG_SET_LOADED;
  }
  zel::CatalogSet set = {};
  set.messages = messages.data();
  set.messageCount = static_cast<std::uint32_t>(ids.size());
  set.state = zel::CATALOG_SET_LOADED;
  zel::Catalog catalog = {};
  catalog.setCount = static_cast<std::int32_t>(ids.size());
  catalog.sets = sets.data();
  int wanted[] = {1, 3, 5, 9, 100, 2147483647, 0, 11};
  for (int want : wanted) {
    const zel::CatalogMessage* m = zel::findMessage(&set, want);
    if (m != nullptr) {
      EXPECT_EQ(m->msgId, want);
    }
    const zel::CatalogSet* s = zel::findSet(&catalog, want);
    if (s != nullptr) {
      EXPECT_EQ(s->setId, want);
    }
  }
}

}  // namespace
