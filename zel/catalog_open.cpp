// catopen: the choice of locale and search template at open time.
#include <cstdlib>
#include <cstring>

#include "zel/catalogs.h"
#include "zel/locale.h"

namespace zel {

namespace {

// The locale name for an open: the argument, else (with CAT_MESSAGE_LOCALE)
// LC_ALL or LC_MESSAGES, else the default locale. Environment values are used
// as they are; everything else lands in buffer, cut to 31 characters.
const char* chooseLocale(int flags, const char* locale, char* buffer) {
  if (locale != nullptr) {
    std::size_t length = std::strlen(locale);
    if (length >= LOCALE_NAME_SIZE) length = LOCALE_NAME_SIZE - 1;
    std::memcpy(buffer, locale, length);
    buffer[length] = '\0';
    return buffer;
  }
  if ((flags & CAT_MESSAGE_LOCALE) != 0) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread writes the environment
    if (const char* all = std::getenv("LC_ALL")) return all;
    // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread writes the environment
    if (const char* messages = std::getenv("LC_MESSAGES")) return messages;
  }
  getDefaultLocale(buffer, LOCALE_NAME_SIZE);
  return buffer;
}

}  // namespace

Catalog* catopenForLocale(const char* name, int flags, const char* locale) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  char buffer[LOCALE_NAME_SIZE];
  const char* localeName = chooseLocale(flags, locale, buffer);
  const char* pathTemplate = getNlsPath();
  if (pathTemplate[0] == '\0') pathTemplate = defaultCatalogTemplate();
  return findCatalogFile(name, flags, pathTemplate, localeName);
}

CatalogHandle catopen(const char* name, int flags) {
  Catalog* catalog = catopenForLocale(name, flags, nullptr);
  return catalog != nullptr ? reinterpret_cast<CatalogHandle>(catalog) : CAT_INVALID_HANDLE;
}

}  // namespace zel
