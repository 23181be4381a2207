#include "winservice/vqm_logging.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace zaq {

namespace {

void reportEvent(const char* sourceName, WORD type, const char* record) {
  HANDLE source = RegisterEventSourceA(nullptr, sourceName);
  if (source == nullptr) return;
  const char* strings[] = {record};
  ReportEventA(source, type, 0, 0, nullptr, 1, 0, strings, nullptr);
  DeregisterEventSource(source);
}

}  // namespace

std::tm currentLocalTime(unsigned* milliseconds) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::tm local{};
  local.tm_year = now.wYear - 1900;
  local.tm_mon = now.wMonth - 1;
  local.tm_mday = now.wDay;
  local.tm_wday = now.wDayOfWeek;
  local.tm_hour = now.wHour;
  local.tm_min = now.wMinute;
  local.tm_sec = now.wSecond;
  if (milliseconds != nullptr) *milliseconds = now.wMilliseconds;
  return local;
}

void createDirectoryChain(const char* directory) {
  std::string path = directory;
  for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

std::string buildLogFileName(const char* name, LogKind kind) {
  createDirectoryChain(logFileDirectory(kind));
  return logFilePath(name, kind);
}

void writeLogRecord(const char* logFile, const char* sourceFile, int line, const char* sourceName,
                    const char* function, const char* message, LogSeverity severity) {
  char stamp[32];
  formatCalendarStamp(currentLocalTime(nullptr), stamp, sizeof stamp);
  char record[LOG_RECORD_SIZE];
  formatLogRecord(record, sizeof record, sourceName, stamp, sourceFile, line, function, message);

  std::FILE* file = logFile != nullptr ? std::fopen(logFile, "a") : nullptr;
  if (file != nullptr) {
    std::size_t length = std::strlen(record);
    if (std::fwrite(record, 1, length, file) != length)
      std::printf("Failure logging  message: %s.\n", record);
    std::fclose(file);
  } else {
    std::printf("Failure opening log file: %s.\n", logFile != nullptr ? logFile : "");
  }

  if (severity == LOG_ERROR)
    reportEvent(sourceName, EVENTLOG_ERROR_TYPE, record);
  else if (severity == LOG_INFO)
    reportEvent(sourceName, EVENTLOG_INFORMATION_TYPE, record);
}

}  // namespace zaq
