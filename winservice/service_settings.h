// The settings the install command makes beyond the registration itself: the
// recovery (failure actions) and the preshutdown timeout. An upgrade keeps
// what an operator set.
#pragma once

#include <windows.h>

namespace zaq {

// How the settings reach the Service Control Manager: ChangeServiceConfig2A
// and QueryServiceConfig2A, or a test's stand-ins that record and answer.
using ChangeServiceConfig2Function = BOOL(WINAPI*)(SC_HANDLE service, DWORD infoLevel, LPVOID info);
using QueryServiceConfig2Function = BOOL(WINAPI*)(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer,
                                                  DWORD size, LPDWORD needed);
struct ServiceConfigCalls {
  ChangeServiceConfig2Function change = ChangeServiceConfig2A;
  QueryServiceConfig2Function query = QueryServiceConfig2A;
};

// What Windows gives a service whose preshutdown timeout nobody set.
constexpr DWORD WINDOWS_DEFAULT_PRESHUTDOWN_MS = 180000;

// A service just created gets both settings. Over an existing registration
// (an upgrade, a repeated install) the failure actions are set only where none
// are set and the preshutdown timeout only where it is still Windows' default;
// a setting that cannot be read is left as it is (said in the debug log). The
// handle needs SERVICE_QUERY_CONFIG, SERVICE_CHANGE_CONFIG and SERVICE_START.
void applyServiceSettings(SC_HANDLE service, bool created, const ServiceConfigCalls& calls = {});

}  // namespace zaq
