#include "winservice/service_entry.h"

#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
