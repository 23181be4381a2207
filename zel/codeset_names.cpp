// Codeset names (normalisation, the operating system's code page, aliases
// files) and the library's one-time start-up, which chooses the process-wide
// converters.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zel/convert.h"
#include "zel/converters.h"
#include "zel/locale.h"
#include "zel/path_separator.h"
#include "zel/platform.h"
#include "zel/zel_state.h"

namespace zel {

namespace {

bool isAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
char asciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Opens the first aliases file found: ZELDIR\codeset\aliases, ZELDIR\aliases,
// then "aliases" in the current directory.
std::FILE* openAliasesFile() {
  const char sep = PATH_SEPARATOR;
  const char* dir = getZelDir();
  std::size_t length = std::strlen(dir);
  char path[DATA_PATH_SIZE];
  std::FILE* f = nullptr;
  if (length > 0 && length + 17 < DATA_PATH_SIZE) {
    if (std::snprintf(path, sizeof path, "%s%ccodeset%caliases", dir, sep, sep) <
        static_cast<int>(sizeof path))
      f = std::fopen(path, "r");
  }
  if (f == nullptr && length > 0 && length + 9 < DATA_PATH_SIZE) {
    if (std::snprintf(path, sizeof path, "%s%caliases", dir, sep) < static_cast<int>(sizeof path))
      f = std::fopen(path, "r");
  }
  if (f == nullptr) f = std::fopen("aliases", "r");
  return f;
}

// One aliases line: when its first field is name and its second field is
// followed by white space (the line end counts), copies the second field
// into buffer and returns true.
bool matchAliasLine(const char* line, char* buffer, std::size_t size) {
  if (line[0] == '#') return false;
  const char* p = line;
  while (isBlank(*p)) ++p;
  const char* first = p;
  while (*p != '\0' && !isBlank(*p)) ++p;
  std::size_t firstLength = static_cast<std::size_t>(p - first);
  if (firstLength == 0 || std::strlen(buffer) != firstLength || std::memcmp(first, buffer, firstLength) != 0)
    return false;
  while (isBlank(*p)) ++p;
  const char* second = p;
  while (*p != '\0' && !isBlank(*p)) ++p;
  std::size_t secondLength = static_cast<std::size_t>(p - second);
  if (secondLength == 0 || *p == '\0') return false;
  if (secondLength > size - 1) secondLength = size - 1;
  std::memmove(buffer, second, secondLength);
  buffer[secondLength] = '\0';
  return true;
}

// Opens name as a codeset (normalised once here, once more by openCodeset).
CodesetConverter* openNamedCodeset(const char* name) {
  char normalised[CODESET_NAME_SIZE];
  normalizeCodesetName(name, normalised, sizeof normalised);
  return openCodeset(normalised);
}

}  // namespace

int resolveCodesetAlias(char* buffer, std::size_t size) {
  if (size == 0) return 1;
  std::FILE* f = openAliasesFile();
  if (f == nullptr) return 1;
  // Pieces of at most 127 characters: a longer line reads as several lines.
  char line[CODESET_NAME_SIZE];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (matchAliasLine(line, buffer, size)) break;
  }
  std::fclose(f);
  return 0;
}

int osCodePage(const char* name, char* buffer, std::size_t size) {
  if (size == 0) return 1;
  platformCodePage(name != nullptr && std::strcmp(name, "DOS") == 0, buffer, size);
  buffer[size - 1] = '\0';
  return 0;
}

int normalizeCodesetName(const char* name, char* buffer, std::size_t size) {
  if (size == 0) return 1;
  if (name == nullptr) name = "";
  // Work buffer of 127 characters: a longer name is cut there.
  char upper[CODESET_NAME_SIZE];
  std::size_t n = 0;
  for (; name[n] != '\0' && n < sizeof upper - 1; ++n) upper[n] = asciiUpper(name[n]);
  upper[n] = '\0';
  if (std::strcmp(upper, "DOS") == 0 || std::strcmp(upper, "WIN") == 0 || std::strcmp(upper, "OS") == 0) {
    char page[CODESET_NAME_SIZE];
    osCodePage(upper, page, sizeof page);
    for (n = 0; page[n] != '\0'; ++n) upper[n] = asciiUpper(page[n]);
    upper[n] = '\0';
  }
  const char* rest = std::strncmp(upper, "QZR", 3) == 0 ? upper + 3 : upper;
  std::size_t at = 0;
  for (; *rest != '\0' && at < size - 1; ++rest) {
    if (isAsciiAlnum(static_cast<unsigned char>(*rest))) buffer[at++] = *rest;
  }
  buffer[at] = '\0';
  resolveCodesetAlias(buffer, size);
  return 0;
}

int osCodesetName(char* buffer, std::size_t size) {
  normalizeCodesetName("OS", buffer, size);
  return 0;
}

int zelInitialize() {
  if (zelState.zelInitialized) return 0;
  zelState.zelInitialized = true;
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread writes the environment
  const char* wanted = std::getenv("ZEL_CODESET");
  if (wanted == nullptr || wanted[0] == '\0') wanted = "OS";
  CodesetConverter* current = openNamedCodeset(wanted);
  if (current == nullptr) current = openNamedCodeset("DEFAULT");
  if (current != nullptr) setCurrentConverter(current);

  char osName[CODESET_NAME_SIZE];
  osCodesetName(osName, sizeof osName);
  CodesetConverter* osDefault = openCodeset(osName);
  if (osDefault == nullptr) osDefault = openCodeset("OSDEFAULT");
  if (osDefault != nullptr) zelState.osDefaultConverter = osDefault;
  return 0;
}

}  // namespace zel
