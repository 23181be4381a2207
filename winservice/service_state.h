// The one process-wide record of the service host: identity, the Java command
// line, log paths, the debug log, the catalog handle, flags, service handles
// and status, the child process and the text buffers. Every field starts zeroed
// or empty; paths and texts live until the process ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "winservice/launch_kind.h"
#include "zel/catalogs.h"

namespace zaq {

constexpr std::size_t INSTANCE_ID_SIZE = 128;
constexpr std::size_t DISPLAY_NAME_SIZE = 512;
constexpr std::size_t WORKING_DIRECTORY_SIZE = 1024;
constexpr std::size_t MESSAGE_TEXT_SIZE = 4096;
constexpr std::size_t ERROR_TEXT_SIZE = 256;

struct ServiceHostState {
  zel::CatalogHandle messageCatalog = 0;  // catopen's handle for "winServCMessages"; -1: none
  LaunchKind launchKind = LAUNCH_SERVER;
  std::int32_t defaultLogCmdPort = 0;  // 1952 agent, 1953 server
  std::string serviceName;             // key name in the Service Control Manager
  char displayName[DISPLAY_NAME_SIZE] = {};
  char instanceId[INSTANCE_ID_SIZE] = {};  // empty for the default instance
  char workingDirectory[WORKING_DIRECTORY_SIZE] = {};
  DWORD workingDirectoryError = 0;  // why it could not be made current; 0: it is
  std::string shutdownFilePath;
  std::string configFilePath;
  std::string javaCommand;
  std::string traceLogPath;    // empty: no trace record is written anywhere
  std::string messageLogPath;  // always set by main
  std::FILE* debugLogFile = nullptr;
  int debugMode = 0;
  volatile LONG stopRequested = 0;
  volatile LONG stopBegun = 0;  // the stop sequence was set in motion, or the supervision has ended
  SERVICE_STATUS serviceStatus = {};
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  HANDLE eventSource = nullptr;
  HANDLE stopEvent = nullptr;
  PROCESS_INFORMATION childProcess = {};
  char messageText[MESSAGE_TEXT_SIZE] = {};
  char errorText[ERROR_TEXT_SIZE] = {};
};

extern ServiceHostState hostState;

}  // namespace zaq
