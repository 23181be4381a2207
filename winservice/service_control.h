// The service host's face towards the Service Control Manager and the console:
// the service main function, the control handler, the status reports and the
// console control handlers, all leading to the stop sequence, which runs once,
// on a thread of its own.
#pragma once

#include <windows.h>

namespace zaq {

// What a pending state announces to control programs: the stop's grace, a
// kill and the files' removal; the start has only the supervision's first
// steps ahead.
constexpr DWORD START_WAIT_HINT_MS = 3000;
constexpr DWORD STOP_WAIT_HINT_MS = 8000;

// Stores state as the current state and reports the whole status record (no
// effect without a status handle, as in the debug command). A pending state
// carries waitHint and a check point that advances with each report of the
// same state; the others carry neither. Nothing is stored or reported after
// SERVICE_STOPPED: false then.
bool reportServiceStatus(DWORD state, DWORD waitHint = 0);

void WINAPI ServiceMain(DWORD argc, LPSTR* argv);

// Waits up to milliseconds for ServiceMain to return: the dispatcher returns
// as soon as SERVICE_STOPPED was reported, while the service thread may still
// be deregistering its event source.
void waitForServiceMainEnd(DWORD milliseconds);

// The handler registered with the dispatcher: a stop, a system shutdown or
// its preshutdown notice sets the stop sequence in motion and returns at once.
DWORD WINAPI ServiceControl(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

// Console control handlers: TRUE when the event was handled. They return when
// the stop sequence has ended, as the system ends the process after some of
// these events as soon as the handler returns.
BOOL WINAPI logoffHandler(DWORD type);
BOOL WINAPI ControlHandler(DWORD type);

// The Win32 exit code that the following status reports carry: 0 for an
// ordinary stop, the Windows error when the application could not be started.
void setServiceExitCode(DWORD win32ExitCode);

// The stop sequence runs once per supervision. armStop, as the supervision
// starts, clears the stop flag unless a stop already began (a stop is never
// forgotten); beginStop sets the sequence in motion on a thread of its own
// unless it already began or the supervision has ended; endStops, as the
// supervision ends, lets no stop begin any more and waits until one under way
// has ended.
void armStop();
void beginStop();
void endStops();

}  // namespace zaq
