// The time Windows gives the service at a system shutdown: the manager sends
// its preshutdown notice and waits while the stop reports progress, up to the
// service's preshutdown timeout, set at install (see service_settings.h for when).
#pragma once

#include <windows.h>

#include "winservice/service_settings.h"

namespace zaq {

// Covers the stop's grace, a kill and the supervision's wind-down with room.
constexpr DWORD PRESHUTDOWN_TIMEOUT_MS = 15000;

// Sets the preshutdown timeout of service; a refusal (older systems) is
// written to the debug log, and the service then stops on the shutdown control.
// true when the system took it.
bool setPreshutdownTimeout(SC_HANDLE service, ChangeServiceConfig2Function change = ChangeServiceConfig2A);

}  // namespace zaq
