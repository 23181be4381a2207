#include "winservice/service_control.h"

#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"
#include "winservice/service_stop.h"

namespace zaq {

namespace {

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

// The end of both console handlers: an event with a line asks for the stop
// and is handled; one without is passed on. After Ctrl+C and Ctrl+Break the
// process lives on; after the others the system ends it when the handler
// returns, so the handler waits for the service's end.
BOOL stopForConsoleEvent(const char* handler, DWORD type, const char* line) {
  if (line == nullptr) {
    traceRecord(handler, "EXIT - FALSE");
    return FALSE;
  }
  debugLine(line);
  ServiceStop();
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) waitForServiceEnd();
  traceRecord(handler, "EXIT - TRUE");
  return TRUE;
}

}  // namespace

DWORD WINAPI ServiceControl(DWORD control, DWORD, LPVOID, LPVOID) {
  traceRecord("ServiceControl", "ENTRY");
  DWORD result = NO_ERROR;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      debugLine("SERVICE EVENT:  Stop requested");
      ServiceStop();
      break;
    case SERVICE_CONTROL_PRESHUTDOWN:
      debugLine("SERVICE EVENT:  Stop requested via Preshutdown");
      ServiceStop();
      break;
    case SERVICE_CONTROL_SHUTDOWN:
      debugLine("SERVICE EVENT:  Stop requested via System Shutdown");
      ServiceStop();
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

BOOL WINAPI logoffHandler(DWORD type) {
  traceRecord("logoffHandler", "ENTER");
  return stopForConsoleEvent("logoffHandler", type, logoffEventLine(type));
}

BOOL WINAPI ControlHandler(DWORD type) {
  traceRecord("ControlHandler", "ENTRY");
  const char* line = nullptr;
  if (type == CTRL_BREAK_EVENT) line = "CONSOLE EVENT:  Stop requested via Ctrl+Break";
  if (type == CTRL_C_EVENT) line = "CONSOLE EVENT:  Stop requested via Ctrl+C";
  return stopForConsoleEvent("ControlHandler", type, line);
}

}  // namespace zaq
