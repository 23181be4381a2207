#include "winservice/service_identity.h"

#include <direct.h>

#include <string>

#include "winservice/service_debuglog.h"
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
constexpr int AGENT_LOG_CMD_PORT = 1952;

bool readWorkingDirectory(const std::string& key) {
  DWORD size = sizeof hostState.workingDirectory;
  return readRegistryString(hostState.workingDirectory, &size, HKEY_LOCAL_MACHINE, key.c_str(),
                            WORKING_DIRECTORY_VALUE) == 0;
}

void useShortForm() {
  char shortPath[WORKING_DIRECTORY_SIZE];
  DWORD length = GetShortPathNameA(hostState.workingDirectory, shortPath, sizeof shortPath);
  if (length > 0 && length < sizeof shortPath)
    copyBounded(hostState.workingDirectory, WORKING_DIRECTORY_SIZE, shortPath);
}

void changeToWorkingDirectory() {
  const char* dir = hostState.workingDirectory;
  char drive = dir[0];
  if (dir[1] == ':' && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z')))
    _chdrive((drive >= 'a' ? drive - 'a' : drive - 'A') + 1);
  // A failure leaves the process in its start directory; paths built from the
  // working directory still name the configured one.
  _chdir(dir);
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
  hostState.defaultLogCmdPort = agent ? AGENT_LOG_CMD_PORT : AGENT_LOG_CMD_PORT + 1;
  setupInstanceID(name);
  getWorkingDir();
  openDebugLog();
  hostState.shutdownFilePath = std::string(hostState.workingDirectory) + "\\shutdown";
  hostState.configFilePath =
      std::string(hostState.workingDirectory) + "\\" + (agent ? "client.pref" : "server.ini");
  hostState.serviceName = serviceNameFromInvocation(name);
  std::string displayName = agent ? "VQM Client" : "VQM Server";
  if (hostState.instanceId[0] != '\0') displayName += std::string(" - ") + hostState.instanceId;
  copyBounded(hostState.displayName, DISPLAY_NAME_SIZE, displayName);
}

}  // namespace zaq
