// Registry keys of the Windows tests: the values an installer writes under a
// service's key, and the event sources under the event log's Application key.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace zaq_test {

constexpr char SERVICES_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr char EVENT_SOURCES_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// Writes a value under HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\key.
inline void setServiceValue(const std::string& key, const char* name, DWORD type, const void* data,
                            DWORD size) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (SERVICES_KEY + key).c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &handle, nullptr),
            ERROR_SUCCESS)
      << key;
  EXPECT_EQ(RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(handle);
}

inline void setWorkingDirectory(const std::string& key, const std::string& dir) {
  setServiceValue(key, "WorkingDirectory", REG_SZ, dir.c_str(), static_cast<DWORD>(dir.size() + 1));
}

inline void deleteServiceKey(const std::string& key) {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (SERVICES_KEY + key).c_str());
}

inline bool eventSourceRegistered(const std::string& source) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (EVENT_SOURCES_KEY + source).c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

// True when the key was there and is deleted.
inline bool deleteEventSource(const std::string& source) {
  return RegDeleteKeyA(HKEY_LOCAL_MACHINE, (EVENT_SOURCES_KEY + source).c_str()) == ERROR_SUCCESS;
}

}  // namespace zaq_test
