#include "winservice/service_recovery.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"
#include "winservice/service_state.h"

namespace {

using zaq::hostState;

// What reached the Service Control Manager; Wine 8 keeps neither setting, so
// the test takes them at the call.
struct Recorded {
  std::vector<DWORD> levels;
  SERVICE_FAILURE_ACTIONSA actions{};
  std::vector<SC_ACTION> actionList;
  BOOL flag = FALSE;
  DWORD refusedLevel = 0;
} recorded;

BOOL WINAPI recordChange(SC_HANDLE, DWORD level, LPVOID info) {
  recorded.levels.push_back(level);
  if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
    recorded.actions = *static_cast<SERVICE_FAILURE_ACTIONSA*>(info);
    recorded.actionList.assign(recorded.actions.lpsaActions,
                               recorded.actions.lpsaActions + recorded.actions.cActions);
  } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
    recorded.flag = static_cast<SERVICE_FAILURE_ACTIONS_FLAG*>(info)->fFailureActionsOnNonCrashFailures;
  }
  if (level != recorded.refusedLevel) return TRUE;
  SetLastError(ERROR_INVALID_LEVEL);  // as Wine 8 answers for the flag
  return FALSE;
}

// Restart after 60 s on the first and second failure, nothing after that, the
// count reset after a day, a stop with a non-zero exit code counted; an
// operator's reboot message and command kept. A refusal of either setting is
// logged and the other is still made.
TEST(RecoverySettings, RestartTwiceAfterAMinuteThenNothingAndAnyRefusalIsLogged) {
  std::string logPath = zaq_test::buildPath("service_recovery.log");
  struct Case {
    DWORD refused;
    bool accepted;
    const char* logLine;  // null: no line
  } cases[] = {
      {0, true, nullptr},
      {SERVICE_CONFIG_FAILURE_ACTIONS, false, "Could not set the service's failure actions (error 124)\n"},
      {SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, false,
       "Could not set the service's failure actions flag (error 124)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refused);
    recorded = Recorded{};
    recorded.refusedLevel = c.refused;
    hostState = zaq::ServiceHostState{};
    hostState.debugLogFile = std::fopen(logPath.c_str(), "wb");
    ASSERT_NE(hostState.debugLogFile, nullptr);
    bool accepted = zaq::setRecoveryActions(reinterpret_cast<SC_HANDLE>(1), recordChange);
    std::fclose(hostState.debugLogFile);
    hostState = zaq::ServiceHostState{};
    EXPECT_EQ(accepted, c.accepted);

    ASSERT_EQ(recorded.levels,
              (std::vector<DWORD>{SERVICE_CONFIG_FAILURE_ACTIONS, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG}));
    EXPECT_EQ(recorded.actions.dwResetPeriod, 86400u);
    EXPECT_EQ(recorded.actions.lpRebootMsg, nullptr);
    EXPECT_EQ(recorded.actions.lpCommand, nullptr);
    ASSERT_EQ(recorded.actionList.size(), 3u);
    SC_ACTION expected[] = {{SC_ACTION_RESTART, 60000}, {SC_ACTION_RESTART, 60000}, {SC_ACTION_NONE, 0}};
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(recorded.actionList[i].Type, expected[i].Type) << i;
      EXPECT_EQ(recorded.actionList[i].Delay, expected[i].Delay) << i;
    }
    EXPECT_TRUE(recorded.flag);

    std::string log = zaq_test::readFile(logPath);
    if (c.logLine == nullptr) {
      EXPECT_EQ(log, "");
    } else {
      ASSERT_NE(log.find("] "), std::string::npos) << log;
      EXPECT_EQ(log.substr(log.find("] ") + 2), c.logLine);
    }
  }
  DeleteFileA(logPath.c_str());
}

}  // namespace
