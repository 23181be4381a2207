#include "winservice/service_entry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/services_registry.h"
#include "tests/support/windows_files.h"
#include "winservice/service_state.h"
#include "zel/catalog_test_support.h"

namespace {

using zaq::CommandWord;

CommandWord wordOf(std::vector<const char*> arguments) {
  return zaq::commandWord(static_cast<int>(arguments.size()), const_cast<char**>(arguments.data()));
}

TEST(CommandWord, OnlyASignedWholeWordInTheFirstArgument) {
  struct Case {
    std::vector<const char*> arguments;
    CommandWord expected;
  } cases[] = {
      {{"zaqservice", "-install"}, zaq::COMMAND_INSTALL},
      {{"zaqservice", "/INSTALL", "-desktop"}, zaq::COMMAND_INSTALL},
      {{"zaqservice", "-ReMoVe"}, zaq::COMMAND_REMOVE},
      {{"zaqservice", "/debug", "-Dx=1"}, zaq::COMMAND_DEBUG},
      {{"zaqservice", "/HELP"}, zaq::COMMAND_HELP},
      {{"zaqservice", "-help", "-trace"}, zaq::COMMAND_HELP},
      {{"zaqservice"}, zaq::COMMAND_NONE},
      {{"zaqservice", "--help"}, zaq::COMMAND_NONE},
      {{"zaqservice", "help"}, zaq::COMMAND_NONE},
      {{"zaqservice", "-hel"}, zaq::COMMAND_NONE},
      {{"zaqservice", "-helpme"}, zaq::COMMAND_NONE},
      {{"zaqservice", "-trace", "-debug"}, zaq::COMMAND_NONE},
      {{"zaqservice", "-"}, zaq::COMMAND_NONE},
      {{"zaqservice", ""}, zaq::COMMAND_NONE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.size() > 1 ? c.arguments[1] : "(none)");
    EXPECT_EQ(wordOf(c.arguments), c.expected);
  }
}

TEST(TraceFlag, ExactlyMinusTraceAfterTheProgramName) {
  std::vector<const char*> traced = {"zaqservice", "-debug", "-trace"};
  std::vector<const char*> first = {"zaqservice", "-trace"};
  std::vector<const char*> upper = {"zaqservice", "-debug", "-Trace"};
  std::vector<const char*> name = {"-trace"};
  std::vector<const char*> slash = {"zaqservice", "/trace"};
  EXPECT_TRUE(zaq::hasTraceFlag(3, const_cast<char**>(traced.data())));
  EXPECT_TRUE(zaq::hasTraceFlag(2, const_cast<char**>(first.data())));
  EXPECT_FALSE(zaq::hasTraceFlag(3, const_cast<char**>(upper.data())));
  EXPECT_FALSE(zaq::hasTraceFlag(1, const_cast<char**>(name.data())));
  EXPECT_FALSE(zaq::hasTraceFlag(2, const_cast<char**>(slash.data())));
}

// Started by the Service Control Manager, the program begins in the system
// folder: its catalog is the one in the working directory, as for the console
// commands, and its message set is loaded before a second thread can look a
// message up.
TEST(StartUp, FindsTheCatalogInTheWorkingDirectoryAndLoadsItsSet) {
  std::string dir = zaq_test::buildPath("winservice_entry");
  std::string elsewhere = dir + "\\system";
  std::string workingDir = dir + "\\client";
  zaq_test::removeTree(dir);
  zaq_test::makeDirectories(elsewhere);
  zaq_test::makeDirectories(workingDir);
  zaq_test::writeFile(workingDir + "\\winServCMessages.cat",
                      zeltest::buildCatalog({{2, {{7, "%s is up.\n"}, {14, "%s is down.\n"}}}}));
  zaq_test::setWorkingDirectory("VQM_Client57", workingDir);
  std::string startDir = zaq_test::currentDirectory();
  SetCurrentDirectoryA(elsewhere.c_str());
  zaq::hostState = zaq::ServiceHostState{};

  zaq::setUpProcess("zaqservice57", false);

  SetCurrentDirectoryA(startDir.c_str());
  zaq_test::deleteServiceKey("VQM_Client57");
  zel::CatalogHandle handle = zaq::hostState.messageCatalog;
  ASSERT_NE(handle, 0);
  ASSERT_NE(handle, zel::CAT_INVALID_HANDLE);
  const zel::Catalog* catalog = reinterpret_cast<const zel::Catalog*>(handle);
  ASSERT_EQ(catalog->setCount, 1);
  EXPECT_EQ(catalog->sets[0].setId, 2);
  EXPECT_EQ(catalog->sets[0].state, zel::CATALOG_SET_LOADED);
  EXPECT_STREQ(zel::catgets(handle, 2, 14, "default"), "%s is down.\n");
}

}  // namespace
