// Finding and loading codeset table files, following redirect files.
#include "zel/codeset_tables.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "zel/locale.h"
#include "zel/path_separator.h"

namespace zel {

namespace {

// Reads the whole file at path into a heap block. False when it cannot be
// opened, measured, held or read in full.
bool readWholeFile(const char* path, CodesetTable* file) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  long size = -1;
  if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
  if (size < 0 || static_cast<unsigned long>(size) > TABLE_MAX_SIZE || std::fseek(f, 0, SEEK_SET) != 0) {
    std::fclose(f);
    return false;
  }
  std::size_t n = static_cast<std::size_t>(size);
  auto* block = static_cast<unsigned char*>(std::malloc(n > 0 ? n : 1));
  if (block == nullptr) {
    std::fclose(f);
    return false;
  }
  if (std::fread(block, 1, n, f) != n) {
    std::free(block);
    std::fclose(f);
    return false;
  }
  std::fclose(f);
  *file = {block, n};
  return true;
}

// A redirect file holds the name of another table file in the same
// directory, as ASCII text. Its first 32 bytes, taken as they are (converting
// them into the current codeset would garble the name under EBCDIC), without
// control and blank characters, replace the name part of path.
void followRedirect(const CodesetTable& file, char* path, std::size_t nameAt) {
  constexpr std::size_t REDIRECT_NAME_BYTES = 32;
  std::size_t n = file.size < REDIRECT_NAME_BYTES ? file.size : REDIRECT_NAME_BYTES;
  std::size_t at = nameAt;
  for (std::size_t i = 0; i < n && at < DATA_PATH_SIZE - 1; ++i) {
    unsigned char c = file.image[i];
    if (std::iscntrl(c) || std::isspace(c)) continue;
    path[at++] = static_cast<char>(c);
  }
  path[at] = '\0';
}

}  // namespace

CodesetTable loadCodesetTable(const char* prefix, const char* name) {
  std::size_t prefixLength = std::strlen(prefix);
  std::size_t nameLength = std::strlen(name);
  if (prefixLength + nameLength + 2 > DATA_PATH_SIZE) return {nullptr, 0};
  // Both lengths were checked above, so plain copies cannot overrun.
  char path[DATA_PATH_SIZE];
  // NOLINTNEXTLINE(bugprone-not-null-terminated-result): the next copy ends it
  std::memcpy(path, prefix, prefixLength);
  std::memcpy(path + prefixLength, name, nameLength + 1);
  for (int pass = 0; pass < MAX_TABLE_FILES; ++pass) {
    CodesetTable file{nullptr, 0};
    if (!readWholeFile(path, &file)) return {nullptr, 0};
    if (tableHasMagic(file.image, file.size)) {
      // A table that points outside itself is refused, not used.
      if (codesetTableIsSound(file.image, file.size)) return file;
      std::free(file.image);
      return {nullptr, 0};
    }
    followRedirect(file, path, prefixLength);
    std::free(file.image);
  }
  return {nullptr, 0};
}

CodesetTable findCodesetTable(const char* name) {
  const char sep = PATH_SEPARATOR;
  char prefix[DATA_PATH_SIZE];
  constexpr int PREFIX_LIMIT = static_cast<int>(DATA_PATH_SIZE);
  CodesetTable table{nullptr, 0};
  const char* zelDir = getZelDir();
  std::size_t zelLength = std::strlen(zelDir);
  if (zelLength > 0 && zelLength + 10 < DATA_PATH_SIZE) {
    if (std::snprintf(prefix, sizeof prefix, "%s%c%s%c", zelDir, sep, "codeset", sep) < PREFIX_LIMIT) {
      table = loadCodesetTable(prefix, name);
      if (table.image != nullptr) return table;
    }
  }
  if (zelLength > 0 && zelLength + 2 < DATA_PATH_SIZE) {
    if (std::snprintf(prefix, sizeof prefix, "%s%c", zelDir, sep) < PREFIX_LIMIT) {
      table = loadCodesetTable(prefix, name);
      if (table.image != nullptr) return table;
    }
  }
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread writes the environment
  const char* binDir = std::getenv("BINDIR");
  if (binDir != nullptr && binDir[0] != '\0' && std::strlen(binDir) + 21 < DATA_PATH_SIZE) {
    if (std::snprintf(prefix, sizeof prefix, "%s%c%s%c%s%c%s%c", binDir, sep, "..", sep, "generic", sep,
                      "codeset", sep) < PREFIX_LIMIT) {
      table = loadCodesetTable(prefix, name);
      if (table.image != nullptr) return table;
    }
  }
  return loadCodesetTable("", name);
}

}  // namespace zel
