#include "winservice/service_settings.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "winservice/service_debuglog.h"
#include "winservice/service_preshutdown.h"
#include "winservice/service_recovery.h"
#include "winservice/service_state.h"

namespace zaq {

namespace {

// The most a service's configuration takes.
constexpr DWORD SERVICE_CONFIG_SIZE = 8192;

// One setting of the service into buffer (aligned for its record); false
// with the reason in the debug log when it cannot be read.
bool readSetting(SC_HANDLE service, DWORD level, const char* what, const ServiceConfigCalls& calls,
                 std::vector<std::uint64_t>* buffer) {
  buffer->assign(SERVICE_CONFIG_SIZE / sizeof(std::uint64_t), 0);
  DWORD needed = 0;
  if (calls.query(service, level, reinterpret_cast<LPBYTE>(buffer->data()), SERVICE_CONFIG_SIZE, &needed))
    return true;
  if (hostState.debugLogFile != nullptr) {
    char line[160];
    std::snprintf(line, sizeof line, "Could not read the service's %s (error %lu); not changed", what,
                  static_cast<unsigned long>(GetLastError()));
    debugLog(line);
  }
  return false;
}

bool hasNoFailureActions(SC_HANDLE service, const ServiceConfigCalls& calls) {
  std::vector<std::uint64_t> buffer;
  if (!readSetting(service, SERVICE_CONFIG_FAILURE_ACTIONS, "failure actions", calls, &buffer)) return false;
  return reinterpret_cast<const SERVICE_FAILURE_ACTIONSA*>(buffer.data())->cActions == 0;
}

bool hasDefaultPreshutdownTimeout(SC_HANDLE service, const ServiceConfigCalls& calls) {
  std::vector<std::uint64_t> buffer;
  if (!readSetting(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, "preshutdown timeout", calls, &buffer))
    return false;
  return reinterpret_cast<const SERVICE_PRESHUTDOWN_INFO*>(buffer.data())->dwPreshutdownTimeout ==
         WINDOWS_DEFAULT_PRESHUTDOWN_MS;
}

}  // namespace

void applyServiceSettings(SC_HANDLE service, bool created, const ServiceConfigCalls& calls) {
  if (created || hasDefaultPreshutdownTimeout(service, calls)) setPreshutdownTimeout(service, calls.change);
  if (created || hasNoFailureActions(service, calls)) setRecoveryActions(service, calls.change);
}

}  // namespace zaq
