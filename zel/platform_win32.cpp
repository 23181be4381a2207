// Windows: the user default language and code pages from the locale information.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "zel/platform.h"

namespace zel {

std::uint16_t platformUserLanguageId() {
  return GetUserDefaultLangID();
}

void platformCodePage(bool oem, char* buffer, std::size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  LCTYPE item = oem ? LOCALE_IDEFAULTCODEPAGE : LOCALE_IDEFAULTANSICODEPAGE;
  int room = size > 0x7fffffff ? 0x7fffffff : static_cast<int>(size);
  if (GetLocaleInfoA(GetUserDefaultLCID(), item, buffer, room) == 0) buffer[0] = '\0';
  buffer[size - 1] = '\0';
  if (std::strtol(buffer, nullptr, 10) == 0) buffer[0] = '\0';
}

}  // namespace zel
