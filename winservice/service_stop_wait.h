// The remove command's wait for a service that is stopping: it waits as long
// as the service says it is stopping and makes progress, and no longer.
#pragma once

#include <windows.h>

namespace zaq {

constexpr DWORD STOP_POLL_MS = 1000;
// How long a service that stays in SERVICE_STOP_PENDING without advancing its
// check point is waited for: our own host stops in about 6 s at most, so only
// a hung one meets this.
constexpr DWORD STOP_PATIENCE_MS = 60000;

// Waits while the service reports SERVICE_STOP_PENDING, polling once a
// second; status holds the state the stop control returned, and then each
// state read. query(status) reads the status and returns 0 or the Windows
// error of the query; pause(ms) sleeps; now() gives milliseconds (as
// GetTickCount64). Returns 0 once the service is SERVICE_STOPPED, the error of
// a failed query, or ERROR_SERVICE_REQUEST_TIMEOUT when the service went to
// another state or its check point did not advance for STOP_PATIENCE_MS.
template <typename Query, typename Pause, typename Now>
DWORD waitWhileStopping(SERVICE_STATUS* status, Query query, Pause pause, Now now) {
  DWORD checkPoint = status->dwCheckPoint;
  auto progressAt = now();
  for (;;) {
    pause(STOP_POLL_MS);
    if (DWORD error = query(status); error != 0) return error;
    if (status->dwCurrentState != SERVICE_STOP_PENDING) break;
    if (status->dwCheckPoint != checkPoint) {
      checkPoint = status->dwCheckPoint;
      progressAt = now();
    } else if (now() - progressAt >= STOP_PATIENCE_MS) {
      return ERROR_SERVICE_REQUEST_TIMEOUT;
    }
  }
  return status->dwCurrentState == SERVICE_STOPPED ? 0 : ERROR_SERVICE_REQUEST_TIMEOUT;
}

}  // namespace zaq
