#include "winservice/service_commands.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "winservice/command_quoting.h"
#include "winservice/event_sources.h"
#include "winservice/message_table.h"
#include "winservice/service_control.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
#include "winservice/service_preshutdown.h"
#include "winservice/service_state.h"
#include "winservice/service_supervision.h"

namespace zaq {

namespace {

constexpr DWORD MODULE_PATH_SIZE = 512;
constexpr DWORD STATUS_POLL_MS = 1000;
// " (0x", eight hex digits, ")" and the string end.
constexpr std::size_t ERROR_CODE_MARGIN = 14;

const char* lastErrorText() {
  return GetLastErrorText(hostState.errorText, sizeof hostState.errorText);
}

void createService(SC_HANDLE manager, const char* modulePath, DWORD serviceType) {
  SC_HANDLE service =
      CreateServiceA(manager, hostState.serviceName.c_str(), hostState.displayName, SERVICE_ALL_ACCESS,
                     serviceType, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                     serviceBinaryPath(modulePath).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (service == nullptr) {
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdInstallService", MSG_FAILED_TO_INSTALL,
                hostState.displayName, lastErrorText());
    return;
  }
  setPreshutdownTimeout(service);
  // Before the first event, so that Event Viewer can describe it too.
  registerEventSources(modulePath);
  emitMessage(MSG_LOGGED_INFO | MSG_PRINTED, "CmdInstallService", MSG_INSTALLED, hostState.displayName);
  CloseServiceHandle(service);
}

// Asks a running service to stop and waits while it is stopping; nothing is
// said when it refuses the control (it does not run).
void stopBeforeRemoval(SC_HANDLE service) {
  if (!ControlService(service, SERVICE_CONTROL_STOP, &hostState.serviceStatus)) return;
  emitMessage(MSG_LOGGED_INFO | MSG_PRINTED, "CmdRemoveService", MSG_STOPPING, hostState.displayName);
  Sleep(STATUS_POLL_MS);
  while (QueryServiceStatus(service, &hostState.serviceStatus) &&
         hostState.serviceStatus.dwCurrentState == SERVICE_STOP_PENDING)
    Sleep(STATUS_POLL_MS);
  if (hostState.serviceStatus.dwCurrentState == SERVICE_STOPPED)
    emitMessage(MSG_LOGGED_INFO | MSG_PRINTED, "CmdRemoveService", MSG_STOPPED, hostState.displayName);
  else
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdRemoveService", MSG_FAILED_TO_STOP,
                hostState.displayName);
}

}  // namespace

bool wantsInteractive(int argc, char** argv) {
  for (int i = 0; i < argc; ++i)
    if (_stricmp(argv[i], "-desktop") == 0 || _stricmp(argv[i], "--desktop") == 0) return true;
  return false;
}

std::string serviceBinaryPath(const char* modulePath) {
  return quoteIfBlank(modulePath);
}

void CmdInstallService(int argc, char** argv) {
  traceRecord("CmdInstallService", "ENTRY");
  DWORD serviceType = SERVICE_WIN32_OWN_PROCESS;
  if (wantsInteractive(argc, argv)) serviceType |= SERVICE_INTERACTIVE_PROCESS;
  char modulePath[MODULE_PATH_SIZE];
  DWORD length = GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
  if (length == 0 || length >= sizeof modulePath) {
    // A cut path would register some other program.
    if (length != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdInstallService", MSG_UNABLE_TO_INSTALL,
                hostState.serviceName.c_str(), lastErrorText());
  } else if (SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
             manager == nullptr) {
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdInstallService", MSG_OPEN_SCMANAGER_FAILED,
                lastErrorText());
  } else {
    createService(manager, modulePath, serviceType);
    CloseServiceHandle(manager);
  }
  traceRecord("CmdInstallService", "EXIT");
}

void CmdRemoveService() {
  traceRecord("CmdRemoveService()", "ENTRY");
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdRemoveService", MSG_OPEN_SCMANAGER_FAILED,
                lastErrorText());
    traceRecord("CmdRemoveService()", "EXIT");
    return;
  }
  SC_HANDLE service = OpenServiceA(manager, hostState.serviceName.c_str(), SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdRemoveService", MSG_OPEN_SERVICE_FAILED, lastErrorText());
  } else {
    stopBeforeRemoval(service);
    if (DeleteService(service)) {
      emitMessage(MSG_LOGGED_INFO | MSG_PRINTED, "CmdRemoveService", MSG_REMOVED, hostState.displayName);
      removeEventSources();
    } else {
      emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdRemoveService", MSG_DELETE_SERVICE_FAILED,
                  lastErrorText());
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  traceRecord("CmdRemoveService()", "EXIT");
}

void CmdDebugService(int argc, char** argv) {
  traceRecord("CmdDebugService", "ENTRY");
  if (hostState.debugLogFile != nullptr) debugLog("Running in debug mode!");
  emitMessage(MSG_PRINTED, "CmdDebugService", MSG_DEBUGGING, hostState.displayName);
  SetConsoleCtrlHandler(ControlHandler, TRUE);
  emitMessage(MSG_PRINTED, "CmdDebugService", MSG_DEBUG_SETTINGS, hostState.workingDirectory,
              hostState.javaCommand.c_str());
  ServiceStart(argc, argv, hostState.workingDirectory, hostState.javaCommand.c_str());
  traceRecord("CmdDebugService", "EXIT");
}

void CmdHelp() {
  traceRecord("CmdHelp", "ENTRY");
  const char* name = hostState.serviceName.c_str();
  emitMessage(MSG_PRINTED, "CmdHelp", MSG_HELP_INSTALL, name);
  emitMessage(MSG_PRINTED, "CmdHelp", MSG_HELP_REMOVE, name);
  emitMessage(MSG_PRINTED, "CmdHelp", MSG_HELP_DEBUG, name);
  traceRecord("CmdHelp", "EXIT");
}

char* GetLastErrorText(char* buffer, std::size_t size) {
  DWORD error = GetLastError();
  traceRecord("GetLastErrorText", "ENTRY");
  char* systemText = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
      error, 0, reinterpret_cast<char*>(&systemText), 0, nullptr);
  if (length == 0 || size < length + ERROR_CODE_MARGIN) {
    if (size > 0) buffer[0] = '\0';
  } else {
    // The system text ends with its line end, which the message does not want.
    while (length > 0 && (systemText[length - 1] == '\n' || systemText[length - 1] == '\r')) --length;
    systemText[length] = '\0';
    std::snprintf(buffer, size, "%s (0x%lx)", systemText, static_cast<unsigned long>(error));
  }
  if (systemText != nullptr) LocalFree(systemText);
  traceRecord("GetLastErrorText", "EXIT");
  return buffer;
}

}  // namespace zaq
