// What a Windows test counts of its own process: threads and open handles,
// to show that the code under test leaves none behind.
#pragma once

#include <windows.h>

#include <tlhelp32.h>

#include <string>

#include "tests/support/files.h"

namespace zaq_test {

inline DWORD threadCount() {
  DWORD count = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  CloseHandle(snapshot);
  return count;
}

// Found by probing the handle values (Wine's GetProcessHandleCount answers 0).
inline DWORD handleCount() {
  DWORD count = 0;
  DWORD flags = 0;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4)
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  return count;
}

// Waits up to two seconds for the process to be back to count threads.
inline bool threadsBackTo(DWORD count) {
  for (int i = 0; i < 100 && threadCount() != count; ++i) Sleep(20);
  return threadCount() == count;
}

// How often token occurs in text.
inline std::size_t occurrences(const std::string& text, const std::string& token) {
  std::size_t count = 0;
  for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + token.size()))
    ++count;
  return count;
}

// Waits up to timeoutMs until the file at path holds token count times.
inline bool waitForOccurrences(const std::string& path, const std::string& token, std::size_t count,
                               DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += 50, Sleep(50)) {
    if (occurrences(readFile(path), token) >= count) return true;
    if (waited >= timeoutMs) return false;
  }
}

}  // namespace zaq_test
