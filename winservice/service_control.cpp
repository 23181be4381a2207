#include "winservice/service_control.h"

#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"
#include "winservice/service_supervision.h"

namespace zaq {

namespace {

constexpr char SERVICE_MAIN_LABEL[] = "ServiceMain(DWORD,LPTSTR*)";

// Reports come from the service thread, the dispatcher's thread and console
// control threads; each passes the whole record with the state it just stored.
SRWLOCK statusGuard = SRWLOCK_INIT;

// Set when ServiceMain returns; lives as long as the process.
HANDLE serviceMainEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);

void debugLine(const char* text) {
  if (hostState.debugLogFile != nullptr) debugLog(text);
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

}  // namespace

void reportServiceStatus(DWORD state) {
  // The record is stored and copied under the guard, but reported outside it:
  // SetServiceStatus talks to the Service Control Manager, which may be
  // waiting for our control handler, and that handler reports too.
  AcquireSRWLockExclusive(&statusGuard);
  hostState.serviceStatus.dwCurrentState = state;
  SERVICE_STATUS report = hostState.serviceStatus;
  SERVICE_STATUS_HANDLE handle = hostState.statusHandle;
  ReleaseSRWLockExclusive(&statusGuard);
  if (handle != nullptr) SetServiceStatus(handle, &report);
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  traceRecord(SERVICE_MAIN_LABEL, "ENTRY");
  debugLine("Registering as event source");
  hostState.eventSource = RegisterEventSourceA(nullptr, hostState.serviceName.c_str());
  if (hostState.eventSource == nullptr) {
    traceRecord(SERVICE_MAIN_LABEL, "EXIT - NULL EVENT SOURCE");
    SetEvent(serviceMainEnded);
    return;
  }
  hostState.statusHandle = RegisterServiceCtrlHandlerA(hostState.serviceName.c_str(), ServiceControl);
  if (hostState.statusHandle != nullptr) {
    SERVICE_STATUS& status = hostState.serviceStatus;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    status.dwWin32ExitCode = 0;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = 0;
    status.dwWaitHint = 0;
    reportServiceStatus(SERVICE_START_PENDING);
    debugLine("STATE TRANSITION -> SERVICE_START_PENDING");
    ServiceStart(static_cast<int>(argc), argv, hostState.workingDirectory, hostState.javaCommand.c_str());
    reportServiceStatus(SERVICE_STOPPED);
    debugLine("STATE TRANSITION -> SERVICE_STOPPED");
  }
  debugLine("Deregistering as event source");
  DeregisterEventSource(hostState.eventSource);
  traceRecord(SERVICE_MAIN_LABEL, "EXIT");
  SetEvent(serviceMainEnded);
}

void waitForServiceMainEnd(DWORD milliseconds) {
  if (serviceMainEnded != nullptr) WaitForSingleObject(serviceMainEnded, milliseconds);
}

void WINAPI ServiceControl(DWORD control) {
  traceRecord("ServiceControl", "ENTRY");
  if (control == SERVICE_CONTROL_STOP) {
    debugLine("SERVICE EVENT:  Stop requested");
    ServiceStop();
  } else if (control == SERVICE_CONTROL_INTERROGATE) {
    debugLine("SERVICE EVENT:  Control Interrogation");
  }
  traceRecord("ServiceControl", "EXIT");
}

BOOL WINAPI logoffHandler(DWORD type) {
  traceRecord("logoffHandler", "ENTER");
  const char* line = logoffEventLine(type);
  if (line == nullptr) {
    traceRecord("logoffHandler", "EXIT - FALSE");
    return FALSE;
  }
  debugLine(line);
  ServiceStop();
  traceRecord("logoffHandler", "EXIT - TRUE");
  return TRUE;
}

BOOL WINAPI ControlHandler(DWORD type) {
  traceRecord("ControlHandler", "ENTRY");
  const char* line = nullptr;
  if (type == CTRL_BREAK_EVENT) line = "CONSOLE EVENT:  Stop requested via Ctrl+Break";
  if (type == CTRL_C_EVENT) line = "CONSOLE EVENT:  Stop requested via Ctrl+C";
  if (line == nullptr) {
    traceRecord("ControlHandler", "EXIT - FALSE");
    return FALSE;
  }
  debugLine(line);
  ServiceStop();
  traceRecord("ControlHandler", "EXIT - TRUE");
  return TRUE;
}

void setServiceExitCode(DWORD win32ExitCode) {
  AcquireSRWLockExclusive(&statusGuard);
  hostState.serviceStatus.dwWin32ExitCode = win32ExitCode;
  ReleaseSRWLockExclusive(&statusGuard);
}

}  // namespace zaq
