#include "winservice/service_status.h"

#include <cstdio>

#include "winservice/service_debuglog.h"
#include "winservice/service_state.h"

namespace zaq {

namespace {

StatusSender sendStatus = SetServiceStatus;

bool isPending(DWORD state) {
  return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
         state == SERVICE_CONTINUE_PENDING || state == SERVICE_PAUSE_PENDING;
}

// Under hostSync.statusGuard: the record as it is reported for state.
void storeStatus(DWORD state, DWORD waitHint) {
  SERVICE_STATUS& status = hostState.serviceStatus;
  bool samePending = isPending(state) && status.dwCurrentState == state;
  status.dwCheckPoint = !isPending(state) ? 0 : samePending ? status.dwCheckPoint + 1 : 1;
  status.dwWaitHint = isPending(state) ? waitHint : 0;
  status.dwCurrentState = state;
  // The manager sends nothing but interrogations until the service runs.
  status.dwControlsAccepted =
      state == SERVICE_START_PENDING || state == SERVICE_STOPPED ? 0 : hostSync.acceptedControls;
}

// Under hostSync.statusGuard: sends the record; a system that refuses the
// preshutdown notice (before Windows Vista) gets the record again without it.
void sendStored() {
  if (hostState.statusHandle == nullptr || sendStatus(hostState.statusHandle, &hostState.serviceStatus) ||
      (hostSync.acceptedControls & SERVICE_ACCEPT_PRESHUTDOWN) == 0 ||
      hostState.serviceStatus.dwControlsAccepted == 0)
    return;
  if (hostState.debugLogFile != nullptr) {
    char line[128];
    std::snprintf(line, sizeof line,
                  "Preshutdown notice refused (error %lu): the service stops on the shutdown control",
                  GetLastError());
    debugLog(line);
  }
  hostSync.acceptedControls &= ~static_cast<DWORD>(SERVICE_ACCEPT_PRESHUTDOWN);
  hostState.serviceStatus.dwControlsAccepted = hostSync.acceptedControls;
  sendStatus(hostState.statusHandle, &hostState.serviceStatus);
}

}  // namespace

bool reportServiceStatus(DWORD state, DWORD waitHint) {
  AcquireSRWLockExclusive(&hostSync.statusGuard);
  DWORD current = hostState.serviceStatus.dwCurrentState;
  bool open = current != SERVICE_STOPPED && !(state == SERVICE_RUNNING && current == SERVICE_STOP_PENDING);
  if (open) {
    storeStatus(state, waitHint);
    sendStored();
  }
  ReleaseSRWLockExclusive(&hostSync.statusGuard);
  return open;
}

void reportServiceStopped(DWORD win32ExitCode) {
  AcquireSRWLockExclusive(&hostSync.statusGuard);
  if (hostState.serviceStatus.dwCurrentState != SERVICE_STOPPED) {
    hostState.serviceStatus.dwWin32ExitCode = win32ExitCode;
    storeStatus(SERVICE_STOPPED, 0);
    sendStored();
  }
  ReleaseSRWLockExclusive(&hostSync.statusGuard);
}

void setStatusSender(StatusSender sender) {
  sendStatus = sender != nullptr ? sender : SetServiceStatus;
}

}  // namespace zaq
