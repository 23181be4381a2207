// Test helpers: catalog files written by the catalog format's writer, and a
// scratch folder per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/environment_variables.h"
#include "tests/support/files.h"
#include "zel/catalog_format.h"
#include "zel/catalogs.h"
#include "zel/zel_state.h"

namespace zeltest {

struct TestMessage {
  std::uint32_t id;
  std::string text;
};

struct TestSet {
  std::uint32_t id;
  std::vector<TestMessage> messages;
};

// Header, then all set records, then per set its message table and strings.
inline std::string buildCatalog(const std::vector<TestSet>& sets) {
  return zel::writeCatalogImage(sets);
}

// A folder for the running test, under the build tree, emptied on the test's
// first call.
inline std::filesystem::path scratchDir() {
  static std::string current;
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  std::filesystem::path dir = std::filesystem::path(ZAQ_BINARY_DIR) / "zel_scratch" / name;
  if (current != name) {
    current = name;
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    std::filesystem::create_directories(dir);
  }
  return dir;
}

using zaq_test::ScopedVariable;
using zaq_test::setVariable;
using zaq_test::writeFile;

// The registered path of an open catalog, or "".
inline std::string registeredPath(const zel::Catalog* catalog) {
  for (std::uint32_t i = 0; i < zel::openCatalogs().capacity; ++i) {
    const zel::CatalogSlot* slot = zel::openCatalogs().slots[i];
    if (slot != nullptr && slot->catalog == catalog) return slot->path;
  }
  return "";
}

}  // namespace zeltest
