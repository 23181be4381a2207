#include "winservice/log_format.h"

#include <cstdio>

namespace zaq {

namespace {

constexpr char TRACE_DIRECTORY[] = "C:\\Program Files\\qzr\\vandel\\common\\WUX\\ffdc\\";
constexpr char MESSAGE_DIRECTORY[] = "C:\\Program Files\\qzr\\vandel\\common\\WUX\\logs\\";

constexpr const char* WEEKDAYS[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                  "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* orEmpty(const char* text) {
  return text != nullptr ? text : "";
}

// snprintf cuts a long text; a cut record or line must still end with a line end.
void keepLineEnd(char* buffer, std::size_t size, int written) {
  if (written >= 0 && static_cast<std::size_t>(written) >= size && size >= 2) buffer[size - 2] = '\n';
}

}  // namespace

const char* logFileDirectory(LogKind kind) {
  return kind == LOG_KIND_TRACE ? TRACE_DIRECTORY : MESSAGE_DIRECTORY;
}

std::string logFilePath(const char* name, LogKind kind) {
  std::string path = logFileDirectory(kind);
  path += kind == LOG_KIND_TRACE ? "traceWUX_" : "msgWUX_";
  path += orEmpty(name);
  path += ".log";
  return path;
}

void formatCalendarStamp(const std::tm& local, char* buffer, std::size_t size) {
  const char* weekday = local.tm_wday >= 0 && local.tm_wday < 7 ? WEEKDAYS[local.tm_wday] : "???";
  const char* month = local.tm_mon >= 0 && local.tm_mon < 12 ? MONTHS[local.tm_mon] : "???";
  std::snprintf(buffer, size, "%s %s %02d %02d:%02d:%02d %d", weekday, month, local.tm_mday, local.tm_hour,
                local.tm_min, local.tm_sec, local.tm_year + 1900);
}

void formatLogRecord(char* buffer, std::size_t size, const char* sourceName, const char* stamp,
                     const char* sourceFile, int line, const char* function, const char* message) {
  int written = std::snprintf(buffer, size, "%s %s %s Line: %d, %s, %s\n", orEmpty(sourceName),
                              orEmpty(stamp), orEmpty(sourceFile), line, orEmpty(function), orEmpty(message));
  keepLineEnd(buffer, size, written);
}

void formatDebugLine(char* buffer, std::size_t size, const std::tm& local, unsigned milliseconds,
                     const char* text) {
  char stamp[30];
  if (std::strftime(stamp, sizeof stamp, "m%d %H:%M:%S", &local) == 0) stamp[0] = '\0';
  int written = std::snprintf(buffer, size, "[%s.%03u] %s\n", stamp, milliseconds % 1000, orEmpty(text));
  keepLineEnd(buffer, size, written);
}

}  // namespace zaq
