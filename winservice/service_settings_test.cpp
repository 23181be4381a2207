#include "winservice/service_settings.h"

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

// A service's settings as the manager answers for them, and what the install
// changed. Wine 8 keeps no failure actions, so the test plays the manager.
struct Manager {
  DWORD actionCount = 0;
  DWORD preshutdownMs = 0;
  DWORD queryError = 0;  // every query fails with it; 0: none fails
  std::vector<DWORD> queried;
  std::vector<DWORD> changed;
  DWORD preshutdownSet = 0;
} manager;

BOOL WINAPI answerQuery(SC_HANDLE, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  manager.queried.push_back(level);
  if (manager.queryError != 0) {
    SetLastError(manager.queryError);
    return FALSE;
  }
  if (level == SERVICE_CONFIG_FAILURE_ACTIONS && size >= sizeof(SERVICE_FAILURE_ACTIONSA)) {
    SERVICE_FAILURE_ACTIONSA actions{};
    actions.cActions = manager.actionCount;
    *reinterpret_cast<SERVICE_FAILURE_ACTIONSA*>(buffer) = actions;
  } else if (level == SERVICE_CONFIG_PRESHUTDOWN_INFO && size >= sizeof(SERVICE_PRESHUTDOWN_INFO)) {
    reinterpret_cast<SERVICE_PRESHUTDOWN_INFO*>(buffer)->dwPreshutdownTimeout = manager.preshutdownMs;
  } else {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  *needed = 0;
  return TRUE;
}

BOOL WINAPI recordChange(SC_HANDLE, DWORD level, LPVOID info) {
  manager.changed.push_back(level);
  if (level == SERVICE_CONFIG_PRESHUTDOWN_INFO)
    manager.preshutdownSet = static_cast<SERVICE_PRESHUTDOWN_INFO*>(info)->dwPreshutdownTimeout;
  return TRUE;
}

// A new service gets both settings. Over an existing one an operator's stay:
// the failure actions are set only where there are none, the preshutdown
// timeout only where it is still Windows' 180,000 ms; what cannot be read is
// not changed.
TEST(ServiceSettings, ANewServiceGetsThemAnExistingOneOnlyWhereUnset) {
  const DWORD PRESHUTDOWN = SERVICE_CONFIG_PRESHUTDOWN_INFO;
  const DWORD ACTIONS = SERVICE_CONFIG_FAILURE_ACTIONS;
  const DWORD FLAG = SERVICE_CONFIG_FAILURE_ACTIONS_FLAG;
  struct Case {
    const char* name;
    bool created;
    DWORD actionCount;
    DWORD preshutdownMs;
    DWORD queryError;
    std::vector<DWORD> changed;
  } cases[] = {
      {"created", true, 0, 0, ERROR_INVALID_HANDLE, {PRESHUTDOWN, ACTIONS, FLAG}},
      {"existing, nothing set", false, 0, 180000, 0, {PRESHUTDOWN, ACTIONS, FLAG}},
      {"existing, both set", false, 3, 60000, 0, {}},
      {"existing, operator's timeout", false, 0, 60000, 0, {ACTIONS, FLAG}},
      {"existing, operator's actions", false, 1, 180000, 0, {PRESHUTDOWN}},
      {"existing, ours already", false, 3, 15000, 0, {}},
      {"existing, unreadable", false, 0, 180000, ERROR_INVALID_LEVEL, {}},
  };
  std::string logPath = zaq_test::buildPath("service_settings.log");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    manager = Manager{};
    manager.actionCount = c.actionCount;
    manager.preshutdownMs = c.preshutdownMs;
    manager.queryError = c.queryError;
    hostState = zaq::ServiceHostState{};
    hostState.debugLogFile = std::fopen(logPath.c_str(), "wb");
    ASSERT_NE(hostState.debugLogFile, nullptr);
    zaq::applyServiceSettings(reinterpret_cast<SC_HANDLE>(1), c.created, {recordChange, answerQuery});
    std::fclose(hostState.debugLogFile);
    hostState = zaq::ServiceHostState{};
    EXPECT_EQ(manager.changed, c.changed);
    if (!c.changed.empty() && c.changed[0] == PRESHUTDOWN) {
      EXPECT_EQ(manager.preshutdownSet, 15000u);
    }
    if (c.created) {
      EXPECT_TRUE(manager.queried.empty());
    }
    std::string log = zaq_test::readFile(logPath);
    if (c.queryError == 0 || c.created) {
      EXPECT_EQ(log, "");
    } else {
      EXPECT_NE(log.find("] Could not read the service's preshutdown timeout (error 124); not changed\n"),
                std::string::npos)
          << log;
      EXPECT_NE(log.find("] Could not read the service's failure actions (error 124); not changed\n"),
                std::string::npos)
          << log;
    }
  }
  DeleteFileA(logPath.c_str());
}

}  // namespace
