#include "winservice/service_commands.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "winservice/command_quoting.h"
#include "winservice/event_sources.h"
#include "winservice/message_table.h"
#include "winservice/program_file.h"
#include "winservice/service_control.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
#include "winservice/service_settings.h"
#include "winservice/service_state.h"
#include "winservice/service_stop_wait.h"
#include "winservice/service_supervision.h"

namespace zaq {

namespace {

constexpr DWORD MODULE_PATH_SIZE = 512;
// The most a service's configuration takes.
constexpr DWORD SERVICE_CONFIG_SIZE = 8192;
// " (0x", eight hex digits, ")" and the string end.
constexpr std::size_t ERROR_CODE_MARGIN = 14;

const char* lastErrorText() {
  return GetLastErrorText(hostState.errorText, sizeof hostState.errorText);
}

// The registered binary path of service as it is written; false when it
// cannot be read.
bool registeredBinaryPath(SC_HANDLE service, std::string* path) {
  std::vector<std::uint64_t> buffer(SERVICE_CONFIG_SIZE / sizeof(std::uint64_t));  // aligned for the record
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  DWORD needed = 0;
  if (!QueryServiceConfigA(service, config, SERVICE_CONFIG_SIZE, &needed) ||
      config->lpBinaryPathName == nullptr)
    return false;
  *path = config->lpBinaryPathName;
  return true;
}

// An install over a service of the same name is already done when that
// service runs this program (an upgrade, a repeated install): the event
// sources are put back, the other settings only where an operator left them
// unset, and the command succeeds. A service registered for another program
// is left alone: ERROR_SERVICE_EXISTS.
DWORD completeExistingService(SC_HANDLE manager, const char* modulePath) {
  SC_HANDLE service = OpenServiceA(manager, hostState.serviceName.c_str(), SERVICE_ALL_ACCESS);
  if (service == nullptr) return ERROR_SERVICE_EXISTS;
  std::string path;
  bool ours = registeredBinaryPath(service, &path) && isSameProgramFile(path.c_str(), modulePath);
  if (ours) {
    registerEventSources(modulePath);
    applyServiceSettings(service, false);
  }
  CloseServiceHandle(service);
  return ours ? 0 : ERROR_SERVICE_EXISTS;
}

DWORD createService(SC_HANDLE manager, const char* modulePath, DWORD serviceType) {
  SC_HANDLE service =
      CreateServiceA(manager, hostState.serviceName.c_str(), hostState.displayName, SERVICE_ALL_ACCESS,
                     serviceType, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                     serviceBinaryPath(modulePath).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (service == nullptr) {
    DWORD error = GetLastError();
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdInstallService", MSG_FAILED_TO_INSTALL,
                hostState.displayName, lastErrorText());
    return error == ERROR_SERVICE_EXISTS ? completeExistingService(manager, modulePath) : error;
  }
  // Before the first event, so that Event Viewer can describe it too.
  registerEventSources(modulePath);
  applyServiceSettings(service, true);
  emitMessage(MSG_LOGGED_INFO | MSG_PRINTED, "CmdInstallService", MSG_INSTALLED, hostState.displayName);
  CloseServiceHandle(service);
  return 0;
}

// Asks a running service to stop and waits while it is stopping and making
// progress; nothing is said when it refuses the control (it does not run).
// 0 when it stopped or refused, else the Windows error to exit with.
DWORD stopBeforeRemoval(SC_HANDLE service) {
  if (!ControlService(service, SERVICE_CONTROL_STOP, &hostState.serviceStatus)) return 0;
  emitMessage(MSG_LOGGED_INFO | MSG_PRINTED, "CmdRemoveService", MSG_STOPPING, hostState.displayName);
  DWORD result = waitWhileStopping(
      &hostState.serviceStatus,
      [service](SERVICE_STATUS* status) -> DWORD {
        return QueryServiceStatus(service, status) ? 0 : GetLastError();
      },
      [](DWORD ms) { Sleep(ms); }, [] { return GetTickCount64(); });
  if (result == 0)
    emitMessage(MSG_LOGGED_INFO | MSG_PRINTED, "CmdRemoveService", MSG_STOPPED, hostState.displayName);
  else
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdRemoveService", MSG_FAILED_TO_STOP,
                hostState.displayName);
  return result;
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

DWORD CmdInstallService(int argc, char** argv) {
  traceRecord("CmdInstallService", "ENTRY");
  DWORD serviceType = SERVICE_WIN32_OWN_PROCESS;
  if (wantsInteractive(argc, argv)) serviceType |= SERVICE_INTERACTIVE_PROCESS;
  char modulePath[MODULE_PATH_SIZE];
  DWORD length = GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
  DWORD result = 0;
  if (length == 0 || length >= sizeof modulePath) {
    // A cut path would register some other program.
    if (length != 0) SetLastError(ERROR_INSUFFICIENT_BUFFER);
    result = GetLastError();
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdInstallService", MSG_UNABLE_TO_INSTALL,
                hostState.serviceName.c_str(), lastErrorText());
  } else if (SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
             manager == nullptr) {
    result = GetLastError();
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdInstallService", MSG_OPEN_SCMANAGER_FAILED,
                lastErrorText());
  } else {
    result = createService(manager, modulePath, serviceType);
    CloseServiceHandle(manager);
  }
  traceRecord("CmdInstallService", "EXIT");
  return result;
}

DWORD CmdRemoveService() {
  traceRecord("CmdRemoveService()", "ENTRY");
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    DWORD error = GetLastError();
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdRemoveService", MSG_OPEN_SCMANAGER_FAILED,
                lastErrorText());
    traceRecord("CmdRemoveService()", "EXIT");
    return error;
  }
  DWORD result = 0;
  SC_HANDLE service = OpenServiceA(manager, hostState.serviceName.c_str(), SERVICE_ALL_ACCESS);
  if (service == nullptr) {
    // No such service: what the command asks for holds already.
    if (DWORD error = GetLastError(); error != ERROR_SERVICE_DOES_NOT_EXIST) result = error;
    emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdRemoveService", MSG_OPEN_SERVICE_FAILED, lastErrorText());
  } else {
    // A service that failed to stop is still marked for deletion.
    result = stopBeforeRemoval(service);
    if (DeleteService(service)) {
      emitMessage(MSG_LOGGED_INFO | MSG_PRINTED, "CmdRemoveService", MSG_REMOVED, hostState.displayName);
      char modulePath[MODULE_PATH_SIZE];
      DWORD length = GetModuleFileNameA(nullptr, modulePath, sizeof modulePath);
      removeEventSources(length > 0 && length < sizeof modulePath ? modulePath : "");
    } else {
      result = GetLastError();
      emitMessage(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdRemoveService", MSG_DELETE_SERVICE_FAILED,
                  lastErrorText());
    }
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  traceRecord("CmdRemoveService()", "EXIT");
  return result;
}

DWORD CmdDebugService(int argc, char** argv) {
  traceRecord("CmdDebugService", "ENTRY");
  if (hostState.debugLogFile != nullptr) debugLog("Running in debug mode!");
  emitMessage(MSG_PRINTED, "CmdDebugService", MSG_DEBUGGING, hostState.displayName);
  SetConsoleCtrlHandler(ControlHandler, TRUE);
  emitMessage(MSG_PRINTED, "CmdDebugService", MSG_DEBUG_SETTINGS, hostState.workingDirectory,
              hostState.javaCommand.c_str());
  // Added last, so asked first: it also takes the close, logoff and shutdown
  // events, which ControlHandler passes on.
  SetConsoleCtrlHandler(logoffHandler, TRUE);
  DWORD result = ServiceStart(argc, argv, hostState.workingDirectory, hostState.javaCommand.c_str());
  traceRecord("CmdDebugService", "EXIT");
  return result;
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
