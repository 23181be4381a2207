// Texts of the product log files and the service debug log: file names, time
// stamps and records. Plain formatting; the files are written elsewhere.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace zaq {

// Record severities: LOG_TRACE goes to the file only; LOG_ERROR and LOG_INFO
// also to the Windows event log.
enum LogSeverity : int {
  LOG_TRACE = 1,
  LOG_ERROR = 2,
  LOG_INFO = 3,
};

// Kind of log file for logFileDirectory/buildLogFileName; any other value is
// the message log (the service host passes LOG_KIND_MESSAGE).
enum LogKind : int {
  LOG_KIND_TRACE = 1,
  LOG_KIND_MESSAGE = 2,
};

// Record buffer size: room for a whole message (up to 4095 characters) with
// the record's other fields; a longer record is cut and still ends with a
// line end.
constexpr std::size_t LOG_RECORD_SIZE = 8192;
// Debug-log line buffer size, with the same cut.
constexpr std::size_t DEBUG_LINE_SIZE = 4096;

// The directory of the kind, ending with "\".
const char* logFileDirectory(LogKind kind);

// Directory + "traceWUX_" or "msgWUX_" + name + ".log"; name is taken verbatim.
std::string logFilePath(const char* name, LogKind kind);

// The classic calendar text of a local time, without line end:
// "Www Mmm dd hh:mm:ss yyyy" (24 characters for years 1000-9999).
void formatCalendarStamp(const std::tm& local, char* buffer, std::size_t size);

// "%s %s %s Line: %d, %s, %s\n" into buffer (null texts print as empty).
void formatLogRecord(char* buffer, std::size_t size, const char* sourceName, const char* stamp,
                     const char* sourceFile, int line, const char* function, const char* message);

// "[m%d %H:%M:%S.mmm] text\n" into buffer.
void formatDebugLine(char* buffer, std::size_t size, const std::tm& local, unsigned milliseconds,
                     const char* text);

}  // namespace zaq
