#include "winservice/service_debuglog.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "winservice/log_format.h"
#include "winservice/service_state.h"
#include "winservice/vqm_logging.h"

namespace zaq {

namespace {
constexpr char MARKER_FILE[] = "debugservice";
constexpr char DEBUG_LOG_NAME[] = "service.log";
}  // namespace

void openDebugLog() {
  std::FILE* marker = std::fopen(MARKER_FILE, "r");
  if (marker == nullptr) return;
  std::fclose(marker);
  std::string path = std::string(hostState.workingDirectory) + "\\" + DEBUG_LOG_NAME;
  hostState.debugLogFile = std::fopen(path.c_str(), "a");
}

void debugLog(const char* text) {
  std::FILE* file = hostState.debugLogFile;
  if (file == nullptr) return;
  unsigned milliseconds = 0;
  std::tm local = currentLocalTime(&milliseconds);
  char line[DEBUG_LINE_SIZE];
  formatDebugLine(line, sizeof line, local, milliseconds, text);
  std::size_t length = std::strlen(line);
  if (std::fwrite(line, 1, length, file) != length) std::printf("Failure logging  message: %s.\n", line);
  std::fflush(file);
}

}  // namespace zaq
