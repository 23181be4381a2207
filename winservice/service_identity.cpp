#include "winservice/service_identity.h"

#include <string>

#include "winservice/config_files.h"
#include "winservice/message_table.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
#include "winservice/service_names.h"
#include "winservice/service_state.h"
#include "winservice/utils.h"

namespace zaq {

namespace {

constexpr char AGENT_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\VQM_Client";
constexpr char AGENT_FALLBACK_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\ZAQ Client";
constexpr char SERVER_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\VQM_Server";
constexpr char WORKING_DIRECTORY_VALUE[] = "WorkingDirectory";
constexpr char AGENT_DEFAULT_DIRECTORY[] = "C:\\PROGRA~1\\QZR\\VQM\\client";
constexpr char SERVER_DEFAULT_DIRECTORY[] = "C:\\PROGRA~1\\QZR\\VQM\\server";

// An empty value names no folder: the next key or the default applies.
bool readWorkingDirectory(const std::string& key) {
  DWORD size = sizeof hostState.workingDirectory;
  return readRegistryString(hostState.workingDirectory, &size, HKEY_LOCAL_MACHINE, key.c_str(),
                            WORKING_DIRECTORY_VALUE) == 0 &&
         hostState.workingDirectory[0] != '\0';
}

void useShortForm() {
  char shortPath[WORKING_DIRECTORY_SIZE];
  DWORD length = GetShortPathNameA(hostState.workingDirectory, shortPath, sizeof shortPath);
  if (length > 0 && length < sizeof shortPath)
    copyBounded(hostState.workingDirectory, WORKING_DIRECTORY_SIZE, shortPath);
}

// SetCurrentDirectoryA changes the drive with the folder. A failure leaves
// the process in the folder it was started in (the operator's, or the system
// folder), where "lock" and "shutdown" must not be touched: it is kept, and
// the host refuses to supervise there.
void changeToWorkingDirectory() {
  if (SetCurrentDirectoryA(hostState.workingDirectory)) {
    hostState.workingDirectoryError = 0;
  } else {
    DWORD error = GetLastError();
    hostState.workingDirectoryError = error != 0 ? error : ERROR_PATH_NOT_FOUND;
  }
}

}  // namespace

void setupInstanceID(const char* name) {
  copyBounded(hostState.instanceId, INSTANCE_ID_SIZE, instanceIdFromName(name));
}

void getWorkingDir() {
  if (hostState.launchKind == LAUNCH_AGENT) {
    if (!readWorkingDirectory(std::string(AGENT_KEY) + hostState.instanceId) &&
        !readWorkingDirectory(AGENT_FALLBACK_KEY))
      copyBounded(hostState.workingDirectory, WORKING_DIRECTORY_SIZE, AGENT_DEFAULT_DIRECTORY);
  } else if (!readWorkingDirectory(SERVER_KEY)) {
    copyBounded(hostState.workingDirectory, WORKING_DIRECTORY_SIZE, SERVER_DEFAULT_DIRECTORY);
  }
  useShortForm();
  changeToWorkingDirectory();
}

void setupServiceInfo(const char* name) {
  if (name == nullptr) name = "";  // an empty argument vector
  bool agent = isAgentInvocation(name);
  hostState.launchKind = agent ? LAUNCH_AGENT : LAUNCH_SERVER;
  hostState.defaultLogCmdPort = defaultLogCmdPort(hostState.launchKind);
  setupInstanceID(name);
  getWorkingDir();
  // The marker is looked for in the working directory only.
  if (hostState.workingDirectoryError == 0) openDebugLog();
  hostState.shutdownFilePath = std::string(hostState.workingDirectory) + "\\" + SHUTDOWN_FILE;
  hostState.configFilePath =
      std::string(hostState.workingDirectory) + "\\" + configFileName(hostState.launchKind);
  hostState.serviceName = serviceNameFromInvocation(name);
  std::string displayName = agent ? "VQM Client" : "VQM Server";
  if (hostState.instanceId[0] != '\0') displayName += std::string(" - ") + hostState.instanceId;
  copyBounded(hostState.displayName, DISPLAY_NAME_SIZE, displayName);
}

void reportUnusableWorkingDirectory(unsigned ways, const char* function) {
  emitMessage(ways, function, MSG_WORKING_DIRECTORY_UNUSABLE, hostState.workingDirectory,
              static_cast<int>(hostState.workingDirectoryError));
}

}  // namespace zaq
