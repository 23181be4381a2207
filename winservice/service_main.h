// The service main function that the dispatcher runs on the service thread:
// registration, the supervision, and the final report.
#pragma once

#include <windows.h>

namespace zaq {

// Registers the event source and the control handler, then runs the service.
void WINAPI ServiceMain(DWORD argc, LPSTR* argv);

// The service once registered: SERVICE_START_PENDING, the supervision, the
// last words, and SERVICE_STOPPED with the supervision's exit code as the
// very last act; the process may end as soon as it has been reported.
void runService(DWORD argc, LPSTR* argv);

}  // namespace zaq
