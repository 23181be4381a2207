// What Windows does when the service host itself fails: the service's recovery
// settings, set by the install command (see service_settings.h for when).
#pragma once

#include <windows.h>

#include "winservice/service_settings.h"

namespace zaq {

// Restart 60 s after the first and the second failure, nothing after that;
// the failure count starts again after a day without failures.
constexpr DWORD RECOVERY_RESTART_DELAY_MS = 60000;
constexpr DWORD RECOVERY_RESET_PERIOD_S = 24 * 60 * 60;

// Sets the failure actions above and the flag that counts a stop with a
// non-zero Win32 exit code as a failure. The handle needs SERVICE_CHANGE_CONFIG
// and SERVICE_START. A refusal goes to the debug log and fails nothing: true
// when both settings were accepted.
bool setRecoveryActions(SC_HANDLE service, ChangeServiceConfig2Function change = ChangeServiceConfig2A);

}  // namespace zaq
