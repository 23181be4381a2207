// The product's message and trace log files in the family's common log
// directory; error and information records also go to the Windows event log.
#pragma once

#include <ctime>
#include <string>

#include "winservice/log_format.h"

namespace zaq {

// The full path of the log file of kind (LOG_KIND_TRACE, else the message log)
// for name, after creating the kind's directory chain.
std::string buildLogFileName(const char* name, LogKind kind);

// Creates every directory of a path ending with "\", from the left, ignoring
// failures (the drive and existing directories fail harmlessly).
void createDirectoryChain(const char* directory);

// Appends one record to logFile; for LOG_ERROR and LOG_INFO also reports the
// whole record to the event log under the event source sourceName.
void writeLogRecord(const char* logFile, const char* sourceFile, int line, const char* sourceName,
                    const char* function, const char* message, LogSeverity severity);

// The local time now, with its milliseconds.
std::tm currentLocalTime(unsigned* milliseconds);

}  // namespace zaq
