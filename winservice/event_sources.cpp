#include "winservice/event_sources.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "winservice/service_debuglog.h"
#include "winservice/service_state.h"

namespace zaq {

namespace {

// Error, warning and information: the types the service host may report.
constexpr DWORD TYPES_SUPPORTED = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;

void logFailure(const char* what, const std::string& source, LONG error) {
  if (hostState.debugLogFile == nullptr) return;
  char line[1024];
  std::snprintf(line, sizeof line, "Could not %s event source %s (error %ld)", what, source.c_str(), error);
  debugLog(line);
}

// The sources the records are reported under; the two names may coincide.
int eventSourceNames(std::string names[2]) {
  names[0] = hostState.displayName;
  names[1] = hostState.serviceName;
  return names[1].empty() || names[1] == names[0] ? 1 : 2;
}

LONG registerSource(const std::string& source, const char* messageFile) {
  HKEY key;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, (EVENT_LOG_APPLICATION_KEY + source).c_str(), 0, nullptr,
                                0, KEY_SET_VALUE, nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) return result;
  DWORD types = TYPES_SUPPORTED;
  result =
      RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(messageFile),
                     static_cast<DWORD>(std::strlen(messageFile) + 1));
  if (result == ERROR_SUCCESS)
    result = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&types),
                            sizeof types);
  RegCloseKey(key);
  return result;
}

// True when the EventMessageFile of key (expanded; it may list several files
// separated by ";") names messageFile.
bool namesMessageFile(const std::string& key, const char* messageFile) {
  char value[2048];
  DWORD size = sizeof value;
  // RRF_RT_REG_SZ takes a REG_EXPAND_SZ value too, expanded.
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "EventMessageFile", RRF_RT_REG_SZ, nullptr, value,
                   &size) != ERROR_SUCCESS)
    return false;
  std::string files(value, strnlen(value, sizeof value));
  for (std::size_t begin = 0; begin <= files.size();) {
    std::size_t end = files.find(';', begin);
    if (end == std::string::npos) end = files.size();
    if (_stricmp(files.substr(begin, end - begin).c_str(), messageFile) == 0) return true;
    begin = end + 1;
  }
  return false;
}

}  // namespace

void registerEventSources(const char* messageFile) {
  std::string names[2];
  int count = eventSourceNames(names);
  for (int i = 0; i < count; ++i)
    if (LONG result = registerSource(names[i], messageFile); result != ERROR_SUCCESS)
      logFailure("register", names[i], result);
}

void removeEventSources(const char* messageFile) {
  std::string names[2];
  int count = eventSourceNames(names);
  for (int i = 0; i < count; ++i) {
    std::string key = EVENT_LOG_APPLICATION_KEY + names[i];
    if (!namesMessageFile(key, messageFile)) {
      if (hostState.debugLogFile != nullptr)
        debugLog(("Event source " + names[i] + " left in place: not registered for this program").c_str());
      continue;
    }
    LONG result = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) logFailure("remove", names[i], result);
  }
}

}  // namespace zaq
