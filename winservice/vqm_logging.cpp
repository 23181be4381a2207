#include "winservice/vqm_logging.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace zaq {

namespace {

// The host's threads write records at the same moment: one at a time. The
// handle appends only, which Windows also makes atomic against other processes
// (the remove command's records beside the service's); Wine does not.
SRWLOCK appendGuard = SRWLOCK_INIT;

// The record in the C library's text mode: each line end as CR LF.
std::string asText(const char* record) {
  std::string text;
  text.reserve(std::strlen(record) + 8);
  for (const char* c = record; *c != '\0'; ++c) {
    if (*c == '\n') text += '\r';
    text += *c;
  }
  return text;
}

// One write of the whole record at the file's end.
void appendRecord(const char* logFile, const char* record) {
  std::string text = asText(record);
  AcquireSRWLockExclusive(&appendGuard);
  HANDLE file = logFile == nullptr ? INVALID_HANDLE_VALUE
                                   : CreateFileA(logFile, FILE_APPEND_DATA,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                 nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  bool opened = file != INVALID_HANDLE_VALUE;
  bool whole = opened && WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == text.size();
  if (opened) CloseHandle(file);
  ReleaseSRWLockExclusive(&appendGuard);
  if (!opened)
    std::printf("Failure opening log file: %s.\n", logFile != nullptr ? logFile : "");
  else if (!whole)
    std::printf("Failure logging  message: %s.\n", record);
}

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

  appendRecord(logFile, record);

  if (severity == LOG_ERROR)
    reportEvent(sourceName, EVENTLOG_ERROR_TYPE, record);
  else if (severity == LOG_INFO)
    reportEvent(sourceName, EVENTLOG_INFORMATION_TYPE, record);
}

}  // namespace zaq
