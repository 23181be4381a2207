// The service host's face towards the Service Control Manager and the console:
// the service main function, the control handler, the status reports and the
// console control handlers, all leading to the stop sequence.
#pragma once

#include <windows.h>

namespace zaq {

// Stores state as the current state and reports the whole status record (no
// effect without a status handle, as in the debug command).
void reportServiceStatus(DWORD state);

void WINAPI ServiceMain(DWORD argc, LPSTR* argv);

// Waits up to milliseconds for ServiceMain to return: the dispatcher returns
// as soon as the stop sequence reported SERVICE_STOPPED, while the service
// thread may still be writing its closing messages.
void waitForServiceMainEnd(DWORD milliseconds);
void WINAPI ServiceControl(DWORD control);

// Console control handlers: TRUE when the event was handled.
BOOL WINAPI logoffHandler(DWORD type);
BOOL WINAPI ControlHandler(DWORD type);

// The Win32 exit code that the following status reports carry: 0 for an
// ordinary stop, the Windows error when the application could not be started.
void setServiceExitCode(DWORD win32ExitCode);

}  // namespace zaq
