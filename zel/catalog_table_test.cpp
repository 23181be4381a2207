#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "zel/catalog_test_support.h"
#include "zel/catalogs.h"
#include "zel/zel_state.h"

namespace {

// A new catalog file whose message 1 of set 1 is its own name.
std::string newCatalogFile(const std::string& name) {
  std::string path = (zeltest::scratchDir() / (name + ".cat")).string();
  zeltest::writeFile(path, zeltest::buildCatalog({{1, {{1, name}}}}));
  return path;
}

zel::CatalogSlot* slotOf(zel::CatalogHandle handle) {
  for (std::uint32_t i = 0; i < zel::openCatalogs().capacity; ++i) {
    zel::CatalogSlot* slot = zel::openCatalogs().slots[i];
    if (slot != nullptr && reinterpret_cast<zel::CatalogHandle>(slot->catalog) == handle) return slot;
  }
  return nullptr;
}

// Opens new catalogs until every slot of the table holds an open one.
void fillTableWithOpenCatalogs(int* serial) {
  for (;;) {
    bool full = true;
    for (std::uint32_t i = 0; i < zel::openCatalogs().capacity; ++i) {
      const zel::CatalogSlot* slot = zel::openCatalogs().slots[i];
      if (slot == nullptr || slot->state == 0) full = false;
    }
    if (full && zel::openCatalogs().capacity > 0) return;
    std::string path = newCatalogFile("fill" + std::to_string((*serial)++));
    ASSERT_NE(zel::catopen(path.c_str(), 0), zel::CAT_INVALID_HANDLE);
  }
}

int openFileCount() {
#ifdef _WIN32
  return -1;
#else
  std::error_code ignored;
  int count = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ignored);
       it != std::filesystem::directory_iterator(); ++it)
    ++count;
  return count;
#endif
}

TEST(CatalogTable, SameFileGivesSameHandleAndOneCloseClosesIt) {
  std::string path = newCatalogFile("twice");
  zel::CatalogHandle first = zel::catopen(path.c_str(), 0);
  ASSERT_NE(first, zel::CAT_INVALID_HANDLE);
  EXPECT_EQ(slotOf(first)->state, 1);
  zel::CatalogHandle second = zel::catopen(path.c_str(), 0);
  EXPECT_EQ(second, first);
  EXPECT_EQ(slotOf(first)->state, -1);
  EXPECT_EQ(zel::catclose(first), 0);
  EXPECT_EQ(zel::catclose(first), -1);
  EXPECT_EQ(zel::catclose(zel::CAT_INVALID_HANDLE), -1);
  EXPECT_EQ(zel::catclose(0), -1);
  // Texts stay valid after the close while the catalog is cached.
  EXPECT_STREQ(zel::catgets(first, 1, 1, "gone"), "twice");
}

TEST(CatalogTable, ClosedCatalogIsReopenedWithoutReadingTheFile) {
  std::filesystem::path dir = zeltest::scratchDir();
  zeltest::writeFile(dir / "reopen.cat", zeltest::buildCatalog({{1, {{1, "cached"}}}}));
  std::string nlsPath = (dir / "%N.cat").string();
  zeltest::setVariable("NLSPATH", nlsPath.c_str());
  zel::CatalogHandle handle = zel::catopen("reopen", 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  EXPECT_STREQ(zel::catgets(handle, 1, 1, "x"), "cached");
  std::uint32_t stamp = slotOf(handle)->lastUse;
  EXPECT_EQ(zel::catclose(handle), 0);
#ifndef _WIN32
  // The file is gone (Windows keeps an open file); the cached catalog still answers.
  std::filesystem::remove(dir / "reopen.cat");
#endif
  EXPECT_EQ(zel::catopen("reopen", 0), handle);
  EXPECT_EQ(slotOf(handle)->state, -1);
  EXPECT_GT(slotOf(handle)->lastUse, stamp);
  EXPECT_STREQ(zel::catgets(handle, 1, 1, "x"), "cached");
  zeltest::setVariable("NLSPATH", nullptr);
}

TEST(CatalogTable, GrowsByDoublingWhenEverySlotIsOpen) {
  int serial = 0;
  std::uint32_t before = zel::openCatalogs().capacity;
  fillTableWithOpenCatalogs(&serial);
  std::uint32_t capacity = zel::openCatalogs().capacity;
  if (before == 0) {
    EXPECT_EQ(capacity, 10u);
  }
  std::vector<zel::Catalog*> held;
  for (std::uint32_t i = 0; i < capacity; ++i) held.push_back(zel::openCatalogs().slots[i]->catalog);
  ASSERT_NE(zel::catopen(newCatalogFile("one-more").c_str(), 0), zel::CAT_INVALID_HANDLE);
  EXPECT_EQ(zel::openCatalogs().capacity, 2 * capacity);
  for (std::uint32_t i = 0; i < capacity; ++i) EXPECT_EQ(zel::openCatalogs().slots[i]->catalog, held[i]);
  EXPECT_NE(zel::openCatalogs().slots[capacity], nullptr);
  for (std::uint32_t i = capacity + 1; i < 2 * capacity; ++i)
    EXPECT_EQ(zel::openCatalogs().slots[i], nullptr);
}

TEST(CatalogTable, FullTableEvictsTheOldestClosedCatalog) {
  int serial = 0;
  fillTableWithOpenCatalogs(&serial);
  std::uint32_t capacity = zel::openCatalogs().capacity;
  // Close three slots; the middle one of them is the least recently stamped.
  std::uint32_t a = 1, b = 4, c = 7;
  zel::CatalogSlot* slotA = zel::openCatalogs().slots[a];
  zel::CatalogSlot* slotC = zel::openCatalogs().slots[c];
  std::string pathA = slotA->path, pathC = slotC->path;
  zel::catopen(slotA->path, 0);  // restamp a and c after b
  zel::catopen(slotC->path, 0);
  std::string evicted = zel::openCatalogs().slots[b]->path;
  std::string evictedText =
      zel::catgets(reinterpret_cast<zel::CatalogHandle>(zel::openCatalogs().slots[b]->catalog), 1, 1, "x");
  for (std::uint32_t i : {a, b, c})
    EXPECT_EQ(zel::catclose(reinterpret_cast<zel::CatalogHandle>(zel::openCatalogs().slots[i]->catalog)), 0);
  int filesBefore = openFileCount();
  std::string fresh = newCatalogFile("fresh");
  zel::CatalogHandle handle = zel::catopen(fresh.c_str(), 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  EXPECT_EQ(zel::openCatalogs().capacity, capacity);
  EXPECT_EQ(zel::openCatalogs().slots[b]->path, fresh);
  EXPECT_EQ(zel::openCatalogs().slots[a]->path, pathA);
  EXPECT_EQ(zel::openCatalogs().slots[c]->path, pathC);
  EXPECT_EQ(openFileCount(), filesBefore);  // the evicted file was closed
  // Once evicted, the catalog is read afresh on its next open.
  EXPECT_EQ(zeltest::registeredPath(reinterpret_cast<zel::Catalog*>(handle)), fresh);
  zel::CatalogHandle again = zel::catopen(evicted.c_str(), 0);
  ASSERT_NE(again, zel::CAT_INVALID_HANDLE);
  EXPECT_EQ(zeltest::registeredPath(reinterpret_cast<zel::Catalog*>(again)), evicted);
  EXPECT_EQ(zel::catgets(again, 1, 1, "x"), evictedText);
}

}  // namespace
