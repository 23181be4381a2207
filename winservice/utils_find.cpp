#include <cstring>

#include "winservice/utils.h"

namespace zaq {

namespace {
WIN32_FIND_DATAA findRecord;
}  // namespace

HANDLE findFirstMatch(const char* pattern) {
  return FindFirstFileA(pattern, &findRecord);
}

int findNextMatch(HANDLE handle) {
  return FindNextFileA(handle, &findRecord) ? 1 : 0;
}

const char* currentMatchName() {
  const char* name = findRecord.cFileName;
  const char* lastBackslash = std::strrchr(name, '\\');
  return lastBackslash != nullptr && lastBackslash != name ? lastBackslash : name;
}

}  // namespace zaq
