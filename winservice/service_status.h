// The service's one status record and its reports to the Service Control
// Manager.
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
// same state; the others carry neither. false, with nothing stored or
// reported, after SERVICE_STOPPED, and for SERVICE_RUNNING once a stop is
// pending.
bool reportServiceStatus(DWORD state, DWORD waitHint = 0);

// The service's final report: SERVICE_STOPPED with win32ExitCode, 0 after an
// ordinary stop or the Windows error that ended the service.
void reportServiceStopped(DWORD win32ExitCode);

// What sends the record to the manager: SetServiceStatus, unless a test puts
// a recorder there (null for SetServiceStatus). Set while no thread reports.
using StatusSender = BOOL(WINAPI*)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);
void setStatusSender(StatusSender sender);

}  // namespace zaq
