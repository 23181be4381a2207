#include "winservice/service_main.h"

#include "winservice/service_control.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"
#include "winservice/service_status.h"
#include "winservice/service_stop.h"
#include "winservice/service_supervision.h"

namespace zaq {

namespace {

constexpr char SERVICE_MAIN_LABEL[] = "ServiceMain(DWORD,LPTSTR*)";

void debugLine(const char* text) {
  if (hostState.debugLogFile != nullptr) debugLog(text);
}

void deregisterEventSource() {
  debugLine("Deregistering as event source");
  if (hostState.eventSource != nullptr) DeregisterEventSource(hostState.eventSource);
  hostState.eventSource = nullptr;
}

}  // namespace

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  traceRecord(SERVICE_MAIN_LABEL, "ENTRY");
  debugLine("Registering as event source");
  hostState.eventSource = RegisterEventSourceA(nullptr, hostState.serviceName.c_str());
  if (hostState.eventSource == nullptr) {
    traceRecord(SERVICE_MAIN_LABEL, "EXIT - NULL EVENT SOURCE");
    return;
  }
  hostState.statusHandle =
      RegisterServiceCtrlHandlerExA(hostState.serviceName.c_str(), ServiceControl, nullptr);
  if (hostState.statusHandle == nullptr) {
    deregisterEventSource();
    traceRecord(SERVICE_MAIN_LABEL, "EXIT");
    return;
  }
  runService(argc, argv);
}

void runService(DWORD argc, LPSTR* argv) {
  SERVICE_STATUS& status = hostState.serviceStatus;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwWin32ExitCode = 0;
  status.dwServiceSpecificExitCode = 0;
  reportServiceStatus(SERVICE_START_PENDING, START_WAIT_HINT_MS);
  debugLine("STATE TRANSITION -> SERVICE_START_PENDING");
  // A system shutdown also reaches the service as a console event.
  SetConsoleCtrlHandler(logoffHandler, TRUE);
  DWORD exitCode =
      ServiceStart(static_cast<int>(argc), argv, hostState.workingDirectory, hostState.javaCommand.c_str());
  deregisterEventSource();
  traceRecord(SERVICE_MAIN_LABEL, "EXIT");
  debugLine("STATE TRANSITION -> SERVICE_STOPPED");
  reportServiceStopped(exitCode);
  announceServiceEnd();
}

}  // namespace zaq
