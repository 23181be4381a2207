#include "winservice/service_recovery.h"

#include <cstdio>

#include "winservice/service_debuglog.h"
#include "winservice/service_state.h"

namespace zaq {

namespace {

void logRefusal(const char* what, DWORD error) {
  if (hostState.debugLogFile == nullptr) return;
  char line[128];
  std::snprintf(line, sizeof line, "Could not set the service's %s (error %lu)", what,
                static_cast<unsigned long>(error));
  debugLog(line);
}

}  // namespace

bool setRecoveryActions(SC_HANDLE service, ChangeServiceConfig2Function change) {
  SC_ACTION actions[] = {
      {SC_ACTION_RESTART, RECOVERY_RESTART_DELAY_MS},
      {SC_ACTION_RESTART, RECOVERY_RESTART_DELAY_MS},
      {SC_ACTION_NONE, 0},
  };
  SERVICE_FAILURE_ACTIONSA failureActions{};
  failureActions.dwResetPeriod = RECOVERY_RESET_PERIOD_S;
  // Null leaves an operator's reboot message and command as they are.
  failureActions.lpRebootMsg = nullptr;
  failureActions.lpCommand = nullptr;
  failureActions.cActions = sizeof actions / sizeof actions[0];
  failureActions.lpsaActions = actions;
  bool accepted = true;
  if (!change(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions)) {
    logRefusal("failure actions", GetLastError());
    accepted = false;
  }
  // Without it only a crash counts: a host that reports SERVICE_STOPPED with
  // the error that kept the application from starting would not be restarted.
  SERVICE_FAILURE_ACTIONS_FLAG flag{};
  flag.fFailureActionsOnNonCrashFailures = TRUE;
  if (!change(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
    logRefusal("failure actions flag", GetLastError());
    accepted = false;
  }
  return accepted;
}

}  // namespace zaq
