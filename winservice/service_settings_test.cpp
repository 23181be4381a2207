#include "winservice/service_settings.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

// The manager's answers about a service, and what the install changed. Wine 8
// keeps no failure actions, so the test plays the manager.
struct Manager {
  DWORD actionCount = 0;
  DWORD preshutdownMs = 0;
  bool unreadable = false;
  bool queried = false;
  std::vector<DWORD> changed;
  DWORD preshutdownSet = 0;
} manager;

BOOL WINAPI answerQuery(SC_HANDLE, DWORD level, LPBYTE buffer, DWORD, LPDWORD) {
  manager.queried = true;
  if (manager.unreadable) {
    SetLastError(ERROR_INVALID_LEVEL);  // as Wine 8 answers for the failure actions
    return FALSE;
  }
  if (level == SERVICE_CONFIG_FAILURE_ACTIONS)
    reinterpret_cast<SERVICE_FAILURE_ACTIONSA*>(buffer)->cActions = manager.actionCount;
  else if (level == SERVICE_CONFIG_PRESHUTDOWN_INFO)
    reinterpret_cast<SERVICE_PRESHUTDOWN_INFO*>(buffer)->dwPreshutdownTimeout = manager.preshutdownMs;
  return TRUE;
}

BOOL WINAPI recordChange(SC_HANDLE, DWORD level, LPVOID info) {
  manager.changed.push_back(level);
  if (level == SERVICE_CONFIG_PRESHUTDOWN_INFO)
    manager.preshutdownSet = static_cast<SERVICE_PRESHUTDOWN_INFO*>(info)->dwPreshutdownTimeout;
  return TRUE;
}

// A new service gets both settings unasked. Over an existing one an operator's
// stay: the failure actions (and their flag) are set only where there are
// none, the preshutdown timeout only where it is Windows' 180,000 ms; what
// cannot be read is not changed.
TEST(ServiceSettings, ANewServiceGetsThemAnExistingOneOnlyWhereUnset) {
  const DWORD PRESHUTDOWN = SERVICE_CONFIG_PRESHUTDOWN_INFO;
  const DWORD ACTIONS = SERVICE_CONFIG_FAILURE_ACTIONS;
  const DWORD FLAG = SERVICE_CONFIG_FAILURE_ACTIONS_FLAG;
  struct Case {
    const char* name;
    bool created;
    DWORD actionCount;
    DWORD preshutdownMs;
    bool unreadable;
    std::vector<DWORD> changed;
  } cases[] = {
      {"created", true, 3, 60000, false, {PRESHUTDOWN, ACTIONS, FLAG}},
      {"existing, nothing set", false, 0, 180000, false, {PRESHUTDOWN, ACTIONS, FLAG}},
      {"existing, operator's timeout", false, 0, 60000, false, {ACTIONS, FLAG}},
      {"existing, operator's actions", false, 1, 180000, false, {PRESHUTDOWN}},
      {"existing, both set", false, 3, 15000, false, {}},
      {"existing, unreadable", false, 0, 180000, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    manager = Manager{};
    manager.actionCount = c.actionCount;
    manager.preshutdownMs = c.preshutdownMs;
    manager.unreadable = c.unreadable;
    zaq::applyServiceSettings(reinterpret_cast<SC_HANDLE>(1), c.created, {recordChange, answerQuery});
    EXPECT_EQ(manager.changed, c.changed);
    EXPECT_EQ(manager.queried, !c.created);
    EXPECT_EQ(manager.preshutdownSet, !c.changed.empty() && c.changed[0] == PRESHUTDOWN ? 15000u : 0u);
  }
}

}  // namespace
