#include "winservice/service_commands.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "winservice/service_stop_wait.h"

namespace {

TEST(InteractiveFlag, DesktopWithOneOrTwoSignsInAnyCaseAnywhere) {
  struct Case {
    std::vector<const char*> arguments;
    bool expected;
  } cases[] = {
      {{"zaqservice", "-install", "-desktop"}, true},
      {{"zaqservice", "-install", "x", "--DESKTOP"}, true},
      {{"--Desktop", "-install"}, true},  // argument 0 counts too
      {{"zaqservice", "-install"}, false},
      {{"zaqservice", "-install", "/desktop"}, false},
      {{"zaqservice", "-install", "-desktops"}, false},
      {{"zaqservice", "-install", "---desktop"}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(
        zaq::wantsInteractive(static_cast<int>(c.arguments.size()), const_cast<char**>(c.arguments.data())),
        c.expected)
        << c.arguments.back();
}

TEST(LastErrorText, SystemTextWithoutLineEndAndTheCodeInHex) {
  char buffer[256];
  SetLastError(ERROR_SERVICE_EXISTS);
  std::string text = zaq::GetLastErrorText(buffer, sizeof buffer);
  ASSERT_GT(text.size(), std::strlen(" (0x431)"));
  EXPECT_EQ(text.substr(text.size() - 8), " (0x431)");
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;

  SetLastError(ERROR_FILE_NOT_FOUND);
  text = zaq::GetLastErrorText(buffer, sizeof buffer);
  EXPECT_EQ(text.substr(text.size() - 6), " (0x2)");
}

TEST(LastErrorText, EmptyWhenTheTextAndItsCodeDoNotFit) {
  char* systemText = nullptr;
  DWORD systemLength =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                     ERROR_SERVICE_EXISTS, 0, reinterpret_cast<char*>(&systemText), 0, nullptr);
  ASSERT_GT(systemLength, 0u);
  LocalFree(systemText);
  char big[256];
  SetLastError(ERROR_SERVICE_EXISTS);
  zaq::GetLastErrorText(big, sizeof big);
  // The system text (with its line end) and fourteen: the margin for the code.
  std::vector<char> exact(systemLength + 14, 'x');
  SetLastError(ERROR_SERVICE_EXISTS);
  EXPECT_STREQ(zaq::GetLastErrorText(exact.data(), exact.size()), big);
  std::vector<char> short_(systemLength + 13, 'x');
  SetLastError(ERROR_SERVICE_EXISTS);
  EXPECT_STREQ(zaq::GetLastErrorText(short_.data(), short_.size()), "");
  SetLastError(0x2000FFFF);  // no system text
  EXPECT_STREQ(zaq::GetLastErrorText(big, sizeof big), "");
}

// The remove command's wait, in simulated time: a service in
// SERVICE_STOP_PENDING is waited for as long as its check point advances, and
// given up a minute after the last advance; the command then exits with
// ERROR_SERVICE_REQUEST_TIMEOUT. A failed query ends the wait with its error.
TEST(StopWait, WaitsWhileTheCheckPointAdvancesAndGivesUpAMinuteAfterTheLast) {
  struct Case {
    const char* name;
    DWORD advancingPolls;  // the check point advances at each of the first polls
    DWORD stoppedAtPoll;   // 0: never
    DWORD runningAtPoll;   // 0: never
    DWORD failingPoll;     // 0: never
    DWORD expected;
    ULONGLONG expectedMs;
  } cases[] = {
      {"slow but advancing", 150, 151, 0, 0, 0, 151000},
      {"hung after ten seconds", 10, 0, 0, 0, ERROR_SERVICE_REQUEST_TIMEOUT, 70000},
      {"never advancing", 0, 0, 0, 0, ERROR_SERVICE_REQUEST_TIMEOUT, 60000},
      {"stopped at once", 0, 1, 0, 0, 0, 1000},
      {"running again", 2, 0, 3, 0, ERROR_SERVICE_REQUEST_TIMEOUT, 3000},
      {"query fails", 5, 0, 0, 4, ERROR_INVALID_HANDLE, 4000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ULONGLONG clock = 0;
    DWORD polls = 0;
    SERVICE_STATUS status{};
    status.dwCurrentState = SERVICE_STOP_PENDING;  // as the stop control returned it
    DWORD result = zaq::waitWhileStopping(
        &status,
        [&](SERVICE_STATUS* s) -> DWORD {
          ++polls;
          if (polls == c.failingPoll) return ERROR_INVALID_HANDLE;
          s->dwCurrentState = polls == c.stoppedAtPoll   ? SERVICE_STOPPED
                              : polls == c.runningAtPoll ? SERVICE_RUNNING
                                                         : SERVICE_STOP_PENDING;
          s->dwCheckPoint = polls < c.advancingPolls ? polls : c.advancingPolls;
          return 0;
        },
        [&](DWORD ms) {
          EXPECT_EQ(ms, 1000u);
          clock += ms;
        },
        [&] { return clock; });
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(clock, c.expectedMs);
  }
}

}  // namespace
