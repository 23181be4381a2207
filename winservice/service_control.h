// The service host's face towards the Service Control Manager and the console:
// the control handler and the console control handlers. Each only asks for the
// stop (ServiceStop) and returns; the service thread carries it out.
#pragma once

#include <windows.h>

namespace zaq {

// The handler registered with the dispatcher: a stop, a system shutdown or
// its preshutdown notice asks for the stop and returns at once.
DWORD WINAPI ServiceControl(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

// Console control handlers: TRUE when the event was handled. Each asks for the
// stop; after the events that let the system end the process as soon as the
// handler returns (close, logoff, shutdown), they return only once the
// service has made its final report.
BOOL WINAPI logoffHandler(DWORD type);
BOOL WINAPI ControlHandler(DWORD type);

}  // namespace zaq
