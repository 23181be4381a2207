#include "winservice/message_table.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageTable, DefaultsOfTheUsedNumbersOnly) {
  EXPECT_STREQ(zaq::defaultMessageText(zaq::MSG_DISPATCHER_FAILED),
               "Windows StartServiceCtrlDispatcher failed.");
  EXPECT_STREQ(zaq::defaultMessageText(19), "Windows CreateProcess for command '%s' failed. Error code %i\n");
  EXPECT_STREQ(zaq::defaultMessageText(26), "Working directory is %s.\nJava command is %s\n");
  EXPECT_STREQ(zaq::defaultMessageText(25),
               "%s -debug [params]   to run as a console application for debugging\n");
  int used = 0;
  for (int id = 0; id <= 32; ++id) {
    bool unused = id < 5 || id == 6 || id == 10 || id > 30;
    EXPECT_EQ(zaq::defaultMessageText(id) == nullptr, unused) << id;
    if (!unused) ++used;
  }
  EXPECT_EQ(used, 24);
}

}  // namespace
