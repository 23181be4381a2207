// Locale names: the default locale, Windows language identifiers, the
// canonical form of a locale name and its alternate for the catalog search.
#include <cstdlib>
#include <cstring>

#include "zel/locale.h"
#include "zel/platform.h"

namespace zel {

namespace {

struct LanguageRow {
  std::uint16_t primary;
  const char* code;
};

// First match wins: 0x1A is listed for Croatian and Serbian, and gives "hr".
constexpr LanguageRow languageIdTable[] = {
    {0x01, "ar"}, {0x36, "af"}, {0x1C, "sq"}, {0x2D, "eu"}, {0x02, "bg"}, {0x23, "be"}, {0x03, "ca"},
    {0x04, "zh"}, {0x1A, "hr"}, {0x05, "cs"}, {0x06, "da"}, {0x13, "nl"}, {0x09, "en"}, {0x25, "et"},
    {0x38, "fo"}, {0x29, "fa"}, {0x0B, "fi"}, {0x0C, "fr"}, {0x07, "de"}, {0x08, "el"}, {0x0D, "he"},
    {0x0E, "hu"}, {0x0F, "is"}, {0x21, "id"}, {0x10, "it"}, {0x11, "ja"}, {0x12, "ko"}, {0x26, "lv"},
    {0x27, "lt"}, {0x14, "no"}, {0x15, "pl"}, {0x16, "pt"}, {0x18, "ro"}, {0x19, "ru"}, {0x1B, "sk"},
    {0x24, "sl"}, {0x1A, "sr"}, {0x0A, "es"}, {0x1D, "sv"}, {0x1E, "th"}, {0x1F, "tr"}, {0x22, "uk"},
};

struct SublanguageRow {
  std::uint16_t primary;
  std::uint16_t sublanguage;
  const char* name;
};

// Hong Kong and Macao write Traditional Chinese in code page 950, as Taiwan
// does: they get its catalog, not the Simplified one that "zh" would give.
constexpr SublanguageRow sublanguageIdTable[] = {
    {0x04, 1, "zh_TW"}, {0x04, 2, "zh_CN"}, {0x04, 3, "zh_TW"}, {0x04, 5, "zh_TW"}, {0x16, 1, "pt_BR"},
};

struct NamePair {
  const char* name;
  const char* result;
};

constexpr NamePair localeCanonicalTable[] = {
    {"C", "C"},   {"american", "C"},     {"ar_AA", "ar"},    {"Ar_AA", "ar"},
    {"cz", "cs"}, {"japanese", "ja_JP"}, {"Jp_JP", "ja_JP"},
};

constexpr NamePair localeAlternateTable[] = {
    {"C", "C"},      {"en", "C"},        {"fr", "fr_FR"}, {"ja", "ja_JP"},
    {"pt", "pt_BR"}, {"pt_BR", "pt_BR"}, {"zh", "zh_CN"}, {"zh_TW", "zh_TW"},
};

template <std::size_t N>
const char* lookUp(const NamePair (&table)[N], const char* name) {
  for (const NamePair& row : table)
    if (std::strcmp(row.name, name) == 0) return row.result;
  return nullptr;
}

void copyCut(const char* text, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::size_t length = std::strlen(text);
  if (length >= size) length = size - 1;
  std::memcpy(buffer, text, length);
  buffer[length] = '\0';
}

// Character classes of the C locale, whatever locale the process runs in.
bool isLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
  return c >= '0' && c <= '9';
}
bool isLetterOrDigit(char c) {
  return isLetter(c) || isDigit(c);
}
char toLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char toUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The short forms ll and ll_TT of a locale name; false when the name has
// neither (t holds the first six characters, NUL-padded).
bool shortForm(char (&t)[7], char (&result)[6]) {
  if (t[2] == '-') t[2] = '_';
  if (isLetter(t[0]) && isLetter(t[1]) && isLetter(t[2]) && isLetter(t[3]) && isDigit(t[4])) {
    t[4] = t[3];  // ENUS437 is EN_US
    t[3] = t[2];
    t[2] = '_';
    t[5] = '\0';
  }
  if (!isLetter(t[0]) || !isLetter(t[1])) return false;
  if (t[2] != '_' && !isLetterOrDigit(t[2])) {
    char form[6] = {toLower(t[0]), toLower(t[1]), '\0'};
    std::memcpy(result, form, sizeof form);
    return true;
  }
  if (t[2] == '_' && isLetter(t[3]) && isLetter(t[4]) && !isLetterOrDigit(t[5])) {
    char form[6] = {toLower(t[0]), toLower(t[1]), '_', toUpper(t[3]), toUpper(t[4]), '\0'};
    std::memcpy(result, form, sizeof form);
    return true;
  }
  return false;
}

}  // namespace

void getDefaultLocale(char* buffer, std::size_t size) {
  const char* lang = std::getenv("LANG");  // NOLINT(concurrency-mt-unsafe): no thread writes the environment
  if (lang != nullptr && lang[0] != '\0')
    copyCut(lang, buffer, size);
  else
    copyCut(localeFromLanguageId(platformUserLanguageId()), buffer, size);
}

const char* localeFromLanguageId(std::uint16_t langId) {
  std::uint16_t primary = langId & 0x3FF;
  std::uint16_t sublanguage = langId >> 10;
  for (const LanguageRow& row : languageIdTable) {
    if (row.primary != primary) continue;
    for (const SublanguageRow& sub : sublanguageIdTable)
      if (sub.primary == primary && sub.sublanguage == sublanguage) return sub.name;
    return row.code;
  }
  return "C";
}

void normalizeLocale(const char* name, char* buffer, std::size_t size) {
  if (const char* canonical = lookUp(localeCanonicalTable, name)) {
    copyCut(canonical, buffer, size);
    return;
  }
  char t[7] = {};
  for (std::size_t i = 0; i < 6 && name[i] != '\0'; ++i) t[i] = name[i];
  char result[6];
  copyCut(shortForm(t, result) ? result : name, buffer, size);
}

void alternateLocale(const char* name, char* buffer, std::size_t size) {
  char n[6];
  normalizeLocale(name, n, sizeof n);
  if (const char* alternate = lookUp(localeAlternateTable, n)) {
    copyCut(alternate, buffer, size);
    return;
  }
  if (n[0] != '\0' && n[1] != '\0' && n[2] == '_') {
    n[2] = '\0';
    const char* alternate = lookUp(localeAlternateTable, n);
    copyCut(alternate != nullptr ? alternate : n, buffer, size);
    return;
  }
  copyCut(n, buffer, size);
}

}  // namespace zel
