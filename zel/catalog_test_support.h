// Test helpers: catalog files written byte by byte in the catalog format, and
// a scratch folder per test.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "zel/catalogs.h"
#include "zel/test_environment.h"

namespace zeltest {

struct TestMessage {
  std::uint32_t id;
  std::string text;
};

struct TestSet {
  std::uint32_t id;
  std::vector<TestMessage> messages;
};

inline void putWord(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value >> 24);
  out += static_cast<char>(value >> 16);
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value);
}

inline void putWordAt(std::string& out, std::size_t offset, std::uint32_t value) {
  std::string word;
  putWord(word, value);
  out.replace(offset, 4, word);
}

// Header, then all set records, then per set its message table and strings.
inline std::string buildCatalog(const std::vector<TestSet>& sets) {
  std::string out = "*nazgul*";
  putWord(out, 1);
  putWord(out, 0);
  putWord(out, 0);
  putWord(out, static_cast<std::uint32_t>(sets.size()));
  putWord(out, 28);
  std::uint32_t data = 28 + 28 * static_cast<std::uint32_t>(sets.size());
  std::string tail;
  for (std::size_t i = 0; i < sets.size(); ++i) {
    std::string strings;
    std::string table;
    for (const TestMessage& m : sets[i].messages) {
      putWord(table, m.id);
      putWord(table, static_cast<std::uint32_t>(strings.size()));
      putWord(table, 0);
      strings += m.text;
      strings += '\0';
    }
    std::uint32_t tableAt = data + static_cast<std::uint32_t>(tail.size());
    putWord(out, sets[i].id);
    putWord(out, i + 1 < sets.size() ? 28 + 28 * static_cast<std::uint32_t>(i + 1) : 0);
    putWord(out, tableAt);
    putWord(out, tableAt + static_cast<std::uint32_t>(table.size()));
    putWord(out, static_cast<std::uint32_t>(strings.size()));
    putWord(out, static_cast<std::uint32_t>(sets[i].messages.size()));
    putWord(out, 0);
    tail += table;
    tail += strings;
  }
  return out + tail;
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

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The registered path of an open catalog, or "".
inline std::string registeredPath(const zel::Catalog* catalog) {
  for (std::uint32_t i = 0; i < zel::openCatalogs.capacity; ++i) {
    const zel::CatalogSlot* slot = zel::openCatalogs.slots[i];
    if (slot != nullptr && slot->catalog == catalog) return slot->path;
  }
  return "";
}

}  // namespace zeltest
