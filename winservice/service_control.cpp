#include "winservice/service_control.h"

#include <cstdio>

#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"
#include "winservice/service_supervision.h"

namespace zaq {

namespace {

constexpr char SERVICE_MAIN_LABEL[] = "ServiceMain(DWORD,LPTSTR*)";

void debugLine(const char* text) {
  if (hostState.debugLogFile != nullptr) debugLog(text);
}

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

DWORD WINAPI stopThread(LPVOID) {
  finishStop();
  SetEvent(hostSync.stopEnded);
  return 0;
}

// The debug-log line of a console event that stops the service, or null when
// the event is passed on.
const char* logoffEventLine(DWORD type) {
  if (type == CTRL_SHUTDOWN_EVENT) return "CONTROL EVENT:  Stop requested via System Shutdown";
  if (hostState.debugMode == 0) return nullptr;
  switch (type) {
    case CTRL_C_EVENT:
      return "CONTROL EVENT:  Stop requested via Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "CONTROL EVENT:  Stop requested via Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "CONTROL EVENT:  Stop requested via Close Event";
    case CTRL_LOGOFF_EVENT:
      return "CONTROL EVENT:  Stop requested via Logoff Event";
    default:
      return nullptr;
  }
}

// A console event's stop: the system may end the process as soon as the
// handler returns, so it returns when the stop is over.
void stopAndWait() {
  beginStop();
  if (hostSync.stopEnded != nullptr) WaitForSingleObject(hostSync.stopEnded, INFINITE);
}

}  // namespace

bool reportServiceStatus(DWORD state, DWORD waitHint) {
  AcquireSRWLockExclusive(&hostSync.statusGuard);
  bool open = hostState.serviceStatus.dwCurrentState != SERVICE_STOPPED;
  if (open) {
    storeStatus(state, waitHint);
    if (hostState.statusHandle != nullptr &&
        !SetServiceStatus(hostState.statusHandle, &hostState.serviceStatus) &&
        (hostSync.acceptedControls & SERVICE_ACCEPT_PRESHUTDOWN) != 0 &&
        hostState.serviceStatus.dwControlsAccepted != 0) {
      char line[128];
      std::snprintf(line, sizeof line,
                    "Preshutdown notice refused (error %lu): the service stops on the shutdown control",
                    GetLastError());
      debugLine(line);
      hostSync.acceptedControls &= ~static_cast<DWORD>(SERVICE_ACCEPT_PRESHUTDOWN);
      hostState.serviceStatus.dwControlsAccepted = hostSync.acceptedControls;
      SetServiceStatus(hostState.statusHandle, &hostState.serviceStatus);
    }
  }
  ReleaseSRWLockExclusive(&hostSync.statusGuard);
  return open;
}

void armStop() {
  AcquireSRWLockExclusive(&hostSync.stopGuard);
  if (hostState.stopBegun == 0) InterlockedExchange(&hostState.stopRequested, 0);
  ReleaseSRWLockExclusive(&hostSync.stopGuard);
}

void beginStop() {
  AcquireSRWLockExclusive(&hostSync.stopGuard);
  bool first = hostState.stopBegun == 0;
  HANDLE thread = nullptr;
  if (first) {
    hostState.stopBegun = 1;
    if (hostSync.stopEnded != nullptr) ResetEvent(hostSync.stopEnded);
    announceStop();
    thread = CreateThread(nullptr, 0, stopThread, nullptr, 0, nullptr);
  }
  ReleaseSRWLockExclusive(&hostSync.stopGuard);
  if (thread != nullptr) {
    CloseHandle(thread);
  } else if (first) {
    // No thread to be had: the stop runs here, as it must run.
    stopThread(nullptr);
  }
}

void endStops() {
  AcquireSRWLockExclusive(&hostSync.stopGuard);
  bool begun = hostState.stopBegun != 0;
  hostState.stopBegun = 1;
  if (!begun && hostSync.stopEnded != nullptr) SetEvent(hostSync.stopEnded);
  ReleaseSRWLockExclusive(&hostSync.stopGuard);
  if (begun && hostSync.stopEnded != nullptr) WaitForSingleObject(hostSync.stopEnded, INFINITE);
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  traceRecord(SERVICE_MAIN_LABEL, "ENTRY");
  debugLine("Registering as event source");
  hostState.eventSource = RegisterEventSourceA(nullptr, hostState.serviceName.c_str());
  if (hostState.eventSource == nullptr) {
    traceRecord(SERVICE_MAIN_LABEL, "EXIT - NULL EVENT SOURCE");
    SetEvent(hostSync.serviceMainEnded);
    return;
  }
  hostState.statusHandle =
      RegisterServiceCtrlHandlerExA(hostState.serviceName.c_str(), ServiceControl, nullptr);
  if (hostState.statusHandle != nullptr) {
    SERVICE_STATUS& status = hostState.serviceStatus;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwWin32ExitCode = 0;
    status.dwServiceSpecificExitCode = 0;
    reportServiceStatus(SERVICE_START_PENDING, START_WAIT_HINT_MS);
    debugLine("STATE TRANSITION -> SERVICE_START_PENDING");
    ServiceStart(static_cast<int>(argc), argv, hostState.workingDirectory, hostState.javaCommand.c_str());
  }
  debugLine("Deregistering as event source");
  DeregisterEventSource(hostState.eventSource);
  traceRecord(SERVICE_MAIN_LABEL, "EXIT");
  SetEvent(hostSync.serviceMainEnded);
}

void waitForServiceMainEnd(DWORD milliseconds) {
  if (hostSync.serviceMainEnded != nullptr) WaitForSingleObject(hostSync.serviceMainEnded, milliseconds);
}

DWORD WINAPI ServiceControl(DWORD control, DWORD, LPVOID, LPVOID) {
  traceRecord("ServiceControl", "ENTRY");
  DWORD result = NO_ERROR;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      debugLine("SERVICE EVENT:  Stop requested");
      beginStop();
      break;
    case SERVICE_CONTROL_PRESHUTDOWN:
      debugLine("SERVICE EVENT:  Stop requested via Preshutdown");
      beginStop();
      break;
    case SERVICE_CONTROL_SHUTDOWN:
      debugLine("SERVICE EVENT:  Stop requested via System Shutdown");
      beginStop();
      break;
    case SERVICE_CONTROL_INTERROGATE:
      debugLine("SERVICE EVENT:  Control Interrogation");
      break;
    default:
      result = ERROR_CALL_NOT_IMPLEMENTED;
      break;
  }
  traceRecord("ServiceControl", "EXIT");
  return result;
}

namespace {

// The end of both console handlers: an event with a line stops the service
// and is handled; one without is passed on.
BOOL stopForConsoleEvent(const char* handler, const char* line) {
  if (line == nullptr) {
    traceRecord(handler, "EXIT - FALSE");
    return FALSE;
  }
  debugLine(line);
  stopAndWait();
  traceRecord(handler, "EXIT - TRUE");
  return TRUE;
}

}  // namespace

BOOL WINAPI logoffHandler(DWORD type) {
  traceRecord("logoffHandler", "ENTER");
  return stopForConsoleEvent("logoffHandler", logoffEventLine(type));
}

BOOL WINAPI ControlHandler(DWORD type) {
  traceRecord("ControlHandler", "ENTRY");
  const char* line = nullptr;
  if (type == CTRL_BREAK_EVENT) line = "CONSOLE EVENT:  Stop requested via Ctrl+Break";
  if (type == CTRL_C_EVENT) line = "CONSOLE EVENT:  Stop requested via Ctrl+C";
  return stopForConsoleEvent("ControlHandler", line);
}

void setServiceExitCode(DWORD win32ExitCode) {
  AcquireSRWLockExclusive(&hostSync.statusGuard);
  hostState.serviceStatus.dwWin32ExitCode = win32ExitCode;
  ReleaseSRWLockExclusive(&hostSync.statusGuard);
}

}  // namespace zaq
