// The search for a catalog file: a path is taken as it is; a name is looked for
// along the NLSPATH-style template, segment by segment, with the full locale
// name, its language, its alternate and "C". Without NLSPATH the template is
// an installation's own layout in the current (working) directory.
#include <sys/stat.h>

#include <cstring>

#include "zel/catalogs.h"
#include "zel/locale.h"
#include "zel/path_separator.h"

namespace zel {

namespace {

bool isRegularFile(const char* path) {
  struct stat status;
  return stat(path, &status) == 0 && S_ISREG(status.st_mode);
}

// Bounded appender into the path buffer; remembers an overflow.
struct PathBuilder {
  char* output;
  std::size_t length;
  bool overflow;

  void append(const char* text, std::size_t count) {
    if (overflow || count >= CATALOG_PATH_SIZE - length) {
      overflow = true;
      return;
    }
    std::memcpy(output + length, text, count);
    length += count;
  }
};

struct LocaleParts {
  const char* language;
  std::size_t languageLength;
  const char* territory;
  std::size_t territoryLength;
  const char* codeset;
};

LocaleParts splitLocale(const char* name) {
  std::size_t length = std::strlen(name);
  const char* underscore = std::strchr(name, '_');
  const char* dot = std::strchr(name, '.');
  LocaleParts parts = {name, length, name + length, 0, name + length};
  if (underscore != nullptr) {
    parts.languageLength = static_cast<std::size_t>(underscore - name);
    parts.territory = underscore + 1;
    const char* end = std::strchr(parts.territory, '.');
    parts.territoryLength =
        end != nullptr ? static_cast<std::size_t>(end - parts.territory) : std::strlen(parts.territory);
  } else if (dot != nullptr) {
    parts.languageLength = static_cast<std::size_t>(dot - name);
  }
  if (dot != nullptr) parts.codeset = dot + 1;
  return parts;
}

struct LocaleCandidates {
  char full[LOCALE_NAME_SIZE];
  char language[3];
  char alternate[LOCALE_NAME_SIZE];
  bool hasLanguage;
  bool hasAlternate;
};

void computeCandidates(const char* locale, LocaleCandidates* candidates) {
  normalizeLocale(locale, candidates->full, sizeof candidates->full);
  candidates->hasLanguage = std::strlen(candidates->full) > 2;
  std::memcpy(candidates->language, candidates->full, 2);
  candidates->language[2] = '\0';
  alternateLocale(locale, candidates->alternate, sizeof candidates->alternate);
  candidates->hasAlternate = std::strcmp(candidates->alternate, candidates->full) != 0;
}

// Tries the locale candidates for one template segment in their order.
char* trySegment(const char* segment, std::size_t length, int flags, const LocaleCandidates& candidates,
                 const char* name, char* output) {
  if (expandCatalogPath(segment, length, candidates.full, name, output)) return output;
  if (candidates.hasLanguage && (flags & CAT_NO_LANGUAGE) == 0 &&
      expandCatalogPath(segment, length, candidates.language, name, output))
    return output;
  if (candidates.hasAlternate && (flags & CAT_NO_ALTERNATE) == 0 &&
      expandCatalogPath(segment, length, candidates.alternate, name, output))
    return output;
  if ((flags & CAT_NO_C) == 0 && expandCatalogPath(segment, length, "C", name, output)) return output;
  return nullptr;
}

struct DefaultTemplate {
  char text[40];
};

// The translations in nls/<locale>/, then the plain catalog (English), so that
// copying a package's layout is all it takes to get the user's language.
constexpr DefaultTemplate makeDefaultTemplate() {
  constexpr char pattern[] = "nls|%L|%N.cat;nls|%l|%N.cat;%N.cat";
  static_assert(sizeof pattern <= sizeof(DefaultTemplate::text));
  DefaultTemplate result = {};
  for (std::size_t i = 0; i < sizeof pattern; ++i)
    result.text[i] = pattern[i] == '|' ? PATH_SEPARATOR : pattern[i];
  return result;
}

constexpr DefaultTemplate defaultTemplate = makeDefaultTemplate();

}  // namespace

const char* defaultCatalogTemplate() {
  return defaultTemplate.text;
}

char* expandCatalogPath(const char* segment, std::size_t length, const char* localeName,
                        const char* catalogName, char* output) {
  PathBuilder path = {output, 0, false};
  LocaleParts parts = splitLocale(localeName);
  for (std::size_t i = 0; i < length; ++i) {
    char next = i + 1 < length ? segment[i + 1] : '\0';
    if (segment[i] != '%' || std::strchr("NLltc", next) == nullptr || next == '\0') {
      path.append(segment + i, 1);
      continue;
    }
    ++i;
    if (next == 'N') path.append(catalogName, std::strlen(catalogName));
    if (next == 'L') path.append(localeName, std::strlen(localeName));
    if (next == 'l') path.append(parts.language, parts.languageLength);
    if (next == 't') path.append(parts.territory, parts.territoryLength);
    if (next == 'c') path.append(parts.codeset, std::strlen(parts.codeset));
  }
  // A path cut at the buffer's end would name some other file.
  if (path.overflow) return nullptr;
  output[path.length] = '\0';
  if (path.length == 0) return nullptr;
  if (findCatalogSlot(output) != nullptr || isRegularFile(output)) return output;
  return nullptr;
}

Catalog* findCatalogFile(const char* name, int flags, const char* pathTemplate, const char* locale) {
  if (name == nullptr || name[0] == '\0') return nullptr;
  if (std::strpbrk(name, "/\\") != nullptr) return isRegularFile(name) ? loadCatalog(name, flags) : nullptr;
  LocaleCandidates candidates;
  computeCandidates(locale, &candidates);
  char output[CATALOG_PATH_SIZE];
  std::size_t start = 0;
  for (std::size_t i = 0;; ++i) {
    char c = pathTemplate[i];
    bool driveColon = c == ':' && i - start == 1;
    if (c != '\0' && c != ';' && (c != ':' || driveColon)) continue;
    if (trySegment(pathTemplate + start, i - start, flags, candidates, name, output))
      return loadCatalog(output, flags);
    if (c == '\0') return nullptr;
    start = i + 1;
  }
}

}  // namespace zel
