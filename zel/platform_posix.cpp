// POSIX stand-in: no Windows language (so the "C" locale), and the codeset of
// the user's locale in place of a code page, read without touching the
// process's own locale.
#include <langinfo.h>
#include <locale.h>

#include <cstdio>

#include "zel/platform.h"

namespace zel {

std::uint16_t platformUserLanguageId() {
  return 0;
}

void platformCodePage(bool /*oem*/, char* buffer, std::size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  locale_t user = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (user == static_cast<locale_t>(0)) return;
  std::snprintf(buffer, size, "%s", nl_langinfo_l(CODESET, user));
  freelocale(user);
}

}  // namespace zel
