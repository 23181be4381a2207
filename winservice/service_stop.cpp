#include "winservice/service_stop.h"

#include <windows.h>

#include <cstdio>

#include "winservice/message_table.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"
#include "winservice/service_status.h"

namespace zaq {

namespace {

void debugLine(const char* text) {
  if (hostState.debugLogFile != nullptr) debugLog(text);
}

}  // namespace

void ServiceStop() {
  if (hostSync.stopRequested.exchange(true)) return;  // asked already
  // The flag is set before the file is made: a watch that finds the file and
  // then the flag knows the file for the host's.
  if (!hostSync.supervisionEnded.load()) {
    traceRecord("ServiceStop", "ENTRY");
    emitMessage(MSG_LOGGED_INFO, "ServiceStop", MSG_STOPPING, hostState.displayName);
    if (reportServiceStatus(SERVICE_STOP_PENDING, STOP_WAIT_HINT_MS))
      debugLine("STATE TRANSITION -> SERVICE_STOP_PENDING");
    stopServiceApp();
    traceRecord("ServiceStop", "EXIT");
  }
  if (hostSync.stopEvent != nullptr) SetEvent(hostSync.stopEvent);
}

bool stopServiceApp() {
  traceRecord("stopServiceApp", "ENTRY");
  debugLine("Creating shutdown file.");
  std::FILE* file = std::fopen(hostState.shutdownFilePath.c_str(), "w");
  if (file == nullptr) {
    traceRecord("stopServiceApp", "EXIT - FALSE");
    return false;
  }
  std::fclose(file);
  traceRecord("stopServiceApp", "EXIT - TRUE");
  return true;
}

bool stopRequested() {
  return hostSync.stopRequested.load();
}

bool endStopRequests() {
  hostSync.supervisionEnded.store(true);
  if (!hostSync.stopRequested.load()) return false;
  // The request is a message, a report and a file: it ends by itself.
  if (hostSync.stopEvent != nullptr) WaitForSingleObject(hostSync.stopEvent, INFINITE);
  return true;
}

void waitForServiceEnd() {
  if (hostSync.serviceEnded != nullptr) WaitForSingleObject(hostSync.serviceEnded, INFINITE);
}

void announceServiceEnd() {
  if (hostSync.serviceEnded != nullptr) SetEvent(hostSync.serviceEnded);
}

void resetStopRequests() {
  hostSync.stopRequested.store(false);
  hostSync.supervisionEnded.store(false);
  if (hostSync.stopEvent != nullptr) ResetEvent(hostSync.stopEvent);
  if (hostSync.serviceEnded != nullptr) ResetEvent(hostSync.serviceEnded);
}

}  // namespace zaq
