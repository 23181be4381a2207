#include "winservice/utils.h"

namespace zaq {

int readRegistryString(char* buffer, DWORD* size, HKEY rootKey, const char* subKey, const char* valueName) {
  if (buffer == nullptr || size == nullptr || *size == 0) return 1;
  HKEY key;
  if (RegOpenKeyExA(rootKey, subKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 1;
  // One byte is kept back: a stored string need not end with its terminator.
  DWORD capacity = *size;
  DWORD stored = capacity - 1;
  DWORD type = REG_NONE;
  LONG status = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &stored);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return 1;
  *size = stored;
  buffer[stored < capacity ? stored : capacity - 1] = '\0';
  return type == REG_SZ || type == REG_EXPAND_SZ ? 0 : 1;
}

}  // namespace zaq
