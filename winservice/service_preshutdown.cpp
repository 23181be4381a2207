#include "winservice/service_preshutdown.h"

#include <cstdio>

#include "winservice/service_debuglog.h"
#include "winservice/service_state.h"

namespace zaq {

bool setPreshutdownTimeout(SC_HANDLE service, ChangeServiceConfig2Function change) {
  SERVICE_PRESHUTDOWN_INFO info{PRESHUTDOWN_TIMEOUT_MS};
  if (change(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &info)) return true;
  if (hostState.debugLogFile != nullptr) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "Preshutdown timeout refused (error %lu): the service stops on the shutdown control",
                  GetLastError());
    debugLog(line);
  }
  return false;
}

}  // namespace zaq
