#include "winservice/utils.h"

namespace zaq {

int readRegistryString(char* buffer, DWORD* size, HKEY rootKey, const char* subKey, const char* valueName) {
  if (buffer == nullptr || size == nullptr || *size == 0) return 1;
  HKEY key;
  if (RegOpenKeyExA(rootKey, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
  DWORD capacity = *size;
  DWORD stored = capacity;
  DWORD type = REG_NONE;
  LONG status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &stored);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS || stored > capacity) return 1;
  *size = stored;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return 1;
  // A stored string need not end with its terminator: add it, and refuse a
  // value that leaves no room for it.
  if (stored > 0 && buffer[stored - 1] == '\0') return 0;
  if (stored == capacity) {
    buffer[capacity - 1] = '\0';
    return 1;
  }
  buffer[stored] = '\0';
  return 0;
}

}  // namespace zaq
