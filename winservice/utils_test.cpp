#include "winservice/utils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/services_registry.h"
#include "tests/support/windows_files.h"
#include "zel/catalog_test_support.h"

namespace {

constexpr char KEY[] = "ZaqUtilsTest";
const std::string FULL_KEY = std::string(zaq_test::SERVICES_KEY) + KEY;

class RegistryStrings : public ::testing::Test {
 protected:
  void SetUp() override { zaq_test::deleteServiceKey(KEY); }
  void TearDown() override { zaq_test::deleteServiceKey(KEY); }

  int read(const char* value, char* buffer, DWORD* size) {
    return zaq::readRegistryString(buffer, size, HKEY_LOCAL_MACHINE, FULL_KEY.c_str(), value);
  }
};

TEST_F(RegistryStrings, StringTypesOnly) {
  zaq_test::setServiceValue(KEY, "plain", REG_SZ, "C:\\inst\\client", 15);
  zaq_test::setServiceValue(KEY, "expand", REG_EXPAND_SZ, "%SystemRoot%\\x", 15);
  DWORD number = 7;
  zaq_test::setServiceValue(KEY, "number", REG_DWORD, &number, sizeof number);
  struct Case {
    const char* value;
    int result;
    const char* text;  // null: not checked
  } cases[] = {
      {"plain", 0, "C:\\inst\\client"},
      {"expand", 0, "%SystemRoot%\\x"},  // never expanded
      {"number", 1, nullptr},
      {"missing", 1, nullptr},
  };
  for (const Case& c : cases) {
    char buffer[64] = "untouched";
    DWORD size = sizeof buffer;
    EXPECT_EQ(read(c.value, buffer, &size), c.result) << c.value;
    if (c.text != nullptr) {
      EXPECT_STREQ(buffer, c.text);
      EXPECT_EQ(size, std::strlen(c.text) + 1);
    }
  }
  char buffer[16] = "untouched";
  DWORD size = sizeof buffer;
  EXPECT_EQ(zaq::readRegistryString(buffer, &size, HKEY_LOCAL_MACHINE, "SYSTEM\\NoSuchKey\\ZaqX", "plain"),
            1);
  EXPECT_STREQ(buffer, "untouched");
}

TEST_F(RegistryStrings, LongOrUnterminatedValuesStayInTheBuffer) {
  std::string longValue(5000, 'd');
  zaq_test::setServiceValue(KEY, "long", REG_SZ, longValue.c_str(), static_cast<DWORD>(longValue.size() + 1));
  // Stored without their terminators.
  zaq_test::setServiceValue(KEY, "unterminated", REG_SZ, "abcdefg", 7);
  zaq_test::setServiceValue(KEY, "filling", REG_SZ, "abcdefgh", 8);
  zaq_test::setServiceValue(KEY, "fitting", REG_SZ, "abcdefg", 8);
  struct Guarded {
    char buffer[8];
    char canary[8];
  } guarded;
  std::memset(&guarded, 'X', sizeof guarded);
  DWORD size = sizeof guarded.buffer;
  EXPECT_EQ(read("long", guarded.buffer, &size), 1);
  EXPECT_EQ(std::memcmp(guarded.canary, "XXXXXXXX", 8), 0);
  size = sizeof guarded.buffer;
  EXPECT_EQ(read("unterminated", guarded.buffer, &size), 0);
  EXPECT_STREQ(guarded.buffer, "abcdefg");
  size = sizeof guarded.buffer;
  EXPECT_EQ(read("fitting", guarded.buffer, &size), 0);
  EXPECT_STREQ(guarded.buffer, "abcdefg");
  size = sizeof guarded.buffer;
  EXPECT_EQ(read("filling", guarded.buffer, &size), 1);
  EXPECT_EQ(std::memchr(guarded.buffer, '\0', sizeof guarded.buffer) != nullptr, true);
  EXPECT_EQ(std::memcmp(guarded.canary, "XXXXXXXX", 8), 0);
}

class DirectorySearch : public ::testing::Test {
 protected:
  std::string dir = zaq_test::buildPath("winservice_find");
  void SetUp() override {
    zaq_test::removeTree(dir);
    zaq_test::makeDirectories(dir + "\\sub.jar");
    zaq_test::writeFile(dir + "\\a.jar", "");
    zaq_test::writeFile(dir + "\\b.txt", "");
  }
  void TearDown() override { zaq_test::removeTree(dir); }
};

TEST_F(DirectorySearch, MatchesFilesAndDirectoriesOneSearchAtATime) {
  EXPECT_EQ(zaq::findFirstMatch((dir + "\\missing\\*.jar").c_str()), INVALID_HANDLE_VALUE);
  EXPECT_EQ(zaq::findFirstMatch((dir + "\\*.zip").c_str()), INVALID_HANDLE_VALUE);
  HANDLE search = zaq::findFirstMatch((dir + "\\*.jar").c_str());
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::string names = zaq::currentMatchName();
  while (zaq::findNextMatch(search)) names += std::string(",") + zaq::currentMatchName();
  FindClose(search);
  EXPECT_TRUE(names == "a.jar,sub.jar" || names == "sub.jar,a.jar") << names;
}

TEST_F(DirectorySearch, ListJarFilesLeavesOutTheExcludedName) {
  zaq::JarList list = "kept when nothing matches";
  zaq::listJarFiles(list, dir + "\\*.zip", "p\\", nullptr);
  EXPECT_EQ(list, "kept when nothing matches");
  for (const char* exclude : {"a.jar", "sub.jar"}) {
    zaq::listJarFiles(list, dir + "\\*.jar", "..\\x\\", exclude);
    // Whichever comes first, no empty entry.
    EXPECT_EQ(list, std::string("..\\x\\") + (std::strcmp(exclude, "a.jar") == 0 ? "sub.jar" : "a.jar"));
  }
  zaq::listJarFiles(list, dir + "\\a.jar", nullptr, "A.JAR");
  EXPECT_EQ(list, "a.jar");
}

TEST(CatalogMessage, DefaultsWithoutACatalog) {
  const char* text = "%s has started.\n";
  EXPECT_EQ(zaq::getCatalogMessage(0, 2, 7, text), text);
  EXPECT_EQ(zaq::getCatalogMessage(zel::CAT_INVALID_HANDLE, 2, 7, text), text);
  zel::CatalogHandle missing = zel::catopen("zaqNoSuchCatalog", 0);
  EXPECT_EQ(zaq::getCatalogMessage(missing, 2, 7, text), text);
}

// A set of message texts, each naming its catalog and number.
std::vector<zeltest::TestMessage> numberedTexts(int catalog, int count) {
  std::vector<zeltest::TestMessage> messages;
  for (int m = 1; m <= count; ++m)
    messages.push_back({static_cast<std::uint32_t>(m), "catalog " + std::to_string(catalog) + " message " +
                                                           std::to_string(m) + std::string(40, '.')});
  return messages;
}

// The service thread, the requester of a stop and the console handlers look
// messages up at the same moment: one lookup at a time, so that a set is
// loaded by one thread while the others wait. Here a load is held in the
// middle, at a read of the catalog's stream, whose lock the test takes; a
// lookup of another thread waits, even one in a set loaded already.
TEST(CatalogMessage, ALookupWaitsWhileAnotherThreadLoadsASet) {
  std::string path = (zeltest::scratchDir() / "held.cat").string();
  zaq_test::writeFile(path, zeltest::buildCatalog({{1, numberedTexts(1, 3)}, {2, numberedTexts(2, 50)}}));
  zel::CatalogHandle handle = zel::catopen(path.c_str(), 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  ASSERT_EQ(numberedTexts(1, 1).back().text, zaq::getCatalogMessage(handle, 1, 1, "default"));
  std::FILE* stream = reinterpret_cast<zel::Catalog*>(handle)->fd;
  // The C library's own stream lock (the static runtime's _lock_file is
  // another one, which its reads do not take).
  using StreamLock = void(__cdecl*)(std::FILE*);
  HMODULE runtime = GetModuleHandleA("msvcrt.dll");
  auto lockStream =
      reinterpret_cast<StreamLock>(reinterpret_cast<void*>(GetProcAddress(runtime, "_lock_file")));
  auto unlockStream =
      reinterpret_cast<StreamLock>(reinterpret_cast<void*>(GetProcAddress(runtime, "_unlock_file")));
  ASSERT_NE(lockStream, nullptr);
  ASSERT_NE(unlockStream, nullptr);
  lockStream(stream);
  std::string loaded, looked;
  std::atomic<bool> loaderDone{false}, lookerDone{false};
  std::thread loader([&] {
    loaded = zaq::getCatalogMessage(handle, 2, 7, "default");
    loaderDone = true;
  });
  Sleep(200);  // the loader now waits for the stream, inside the load of set 2
  std::thread looker([&] {
    looked = zaq::getCatalogMessage(handle, 1, 2, "default");
    lookerDone = true;
  });
  Sleep(300);
  EXPECT_FALSE(loaderDone);
  EXPECT_FALSE(lookerDone) << "a lookup ran while another thread was loading a set";
  unlockStream(stream);
  loader.join();
  looker.join();
  EXPECT_EQ(loaded, numberedTexts(2, 7).back().text);
  EXPECT_EQ(looked, numberedTexts(1, 2).back().text);
}

}  // namespace
