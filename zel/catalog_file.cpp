// Reading catalog files. Every integer is 32-bit unsigned big-endian; every
// offset is absolute from the start of the file.
//
//   header, 28 bytes at 0: magic "*nazgul*", version (1), two reserved words,
//                          setCount (> 0 as signed), firstSet
//   set record, 28 bytes:  setId, next, messageTable, stringArea,
//                          stringAreaSize, messageCount, skip (non-zero: pass over)
//   message record, 12:    msgId, textOffset (into the string area), reserved
//   string area:           NUL-terminated UTF-8 texts
//
// The file is untrusted: every offset and size is checked against the file's
// size by subtraction before it is used, the set chain must not loop, and each
// text must end inside its string area. Numbers need not ascend nor texts be
// distinct: other compilers write such files.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zel/catalog_io.h"
#include "zel/catalogs.h"

namespace zel {

namespace {

constexpr std::size_t HEADER_SIZE = 28;
constexpr std::size_t SET_RECORD_SIZE = 28;
constexpr char MAGIC[8] = {'*', 'n', 'a', 'z', 'g', 'u', 'l', '*'};

// Files larger than a signed long can address are refused, so every offset
// that passes fitsInFile can be given to fseek.
bool measureFile(Catalog* catalog) {
  if (std::fseek(catalog->fd, 0, SEEK_END) != 0) return false;
  long size = std::ftell(catalog->fd);
  if (size < 0 || static_cast<unsigned long>(size) > 0x7fffffffUL) return false;
  catalog->fileSize = static_cast<std::uint32_t>(size);
  return true;
}

bool readHeader(Catalog* catalog, std::uint32_t* firstSet) {
  unsigned char header[HEADER_SIZE];
  if (!readCatalogBytes(catalog, 0, header, sizeof header)) return false;
  if (std::memcmp(header, MAGIC, sizeof MAGIC) != 0 || readBigEndian(header + 8) != 1) return false;
  std::int32_t setCount = static_cast<std::int32_t>(readBigEndian(header + 20));
  // Each counted set needs a record of its own after the header.
  if (setCount <= 0 ||
      static_cast<std::uint32_t>(setCount) > (catalog->fileSize - HEADER_SIZE) / SET_RECORD_SIZE)
    return false;
  catalog->setCount = setCount;
  *firstSet = readBigEndian(header + 24);
  return true;
}

void decodeSetRecord(const unsigned char* record, CatalogSet* set) {
  set->setId = static_cast<std::int32_t>(readBigEndian(record));
  set->next = readBigEndian(record + 4);
  set->messageTable = readBigEndian(record + 8);
  set->stringArea = readBigEndian(record + 12);
  set->stringAreaSize = readBigEndian(record + 16);
  set->messageCount = readBigEndian(record + 20);
  set->block = nullptr;
  set->messages = nullptr;
  set->state = CATALOG_SET_UNLOADED;
  set->directTexts = nullptr;
  set->directFirst = 0;
  set->directSpan = 0;
}

// Follows the chain from firstSet until setCount sets are kept. A chain that
// comes back to a record it passed (found with Brent's method, in constant
// memory) refuses the file. Set numbers are kept in any order: catalogs from
// other compilers need not sort them, and the search ends over any numbering.
bool readSetChain(Catalog* catalog, std::uint32_t offset) {
  std::int32_t kept = 0;
  std::uint32_t tortoise = offset, power = 1, steps = 0;
  while (kept < catalog->setCount) {
    unsigned char record[SET_RECORD_SIZE];
    if (!readCatalogBytes(catalog, offset, record, sizeof record)) return false;
    if (readBigEndian(record + 24) == 0) {
      decodeSetRecord(record, &catalog->sets[kept]);
      ++kept;
    }
    offset = readBigEndian(record + 4);
    if (kept < catalog->setCount && offset == tortoise) return false;
    if (++steps == power) {
      tortoise = offset;
      power *= 2;
      steps = 0;
    }
  }
  return true;
}

}  // namespace

bool readCatalogBytes(Catalog* catalog, std::uint32_t offset, void* buffer, std::size_t size) {
  if (offset > catalog->fileSize || size > catalog->fileSize - offset) return false;
  if (std::fseek(catalog->fd, static_cast<long>(offset), SEEK_SET) != 0) return false;
  return std::fread(buffer, 1, size, catalog->fd) == size;
}

Catalog* loadCatalog(const char* path, int flags) {
  if (CatalogSlot* slot = findCatalogSlot(path)) return reopenCatalogSlot(slot);
  Catalog* catalog = static_cast<Catalog*>(std::calloc(1, sizeof(Catalog)));
  if (catalog == nullptr) return nullptr;
  catalog->flags = static_cast<std::uint32_t>(flags);
  catalog->fd = std::fopen(path, "rb");
  std::uint32_t firstSet = 0;
  if (catalog->fd == nullptr || !measureFile(catalog) || !readHeader(catalog, &firstSet)) {
    freeCatalog(catalog);
    return nullptr;
  }
  catalog->sets = static_cast<CatalogSet*>(std::calloc(catalog->setCount, sizeof(CatalogSet)));
  if (catalog->sets == nullptr || !readSetChain(catalog, firstSet) || registerCatalog(path, catalog) != 0) {
    freeCatalog(catalog);
    return nullptr;
  }
  return catalog;
}

void freeCatalog(Catalog* catalog) {
  if (catalog == nullptr) return;
  if (catalog->fd != nullptr) std::fclose(catalog->fd);
  if (catalog->sets != nullptr) {
    for (std::int32_t i = 0; i < catalog->setCount; ++i)
      if (catalog->sets[i].state == CATALOG_SET_LOADED) std::free(catalog->sets[i].block);
  }
  std::free(catalog->sets);
  std::free(catalog);
}

}  // namespace zel
