// Reading catalog files (the format is in catalog_format.h).
//
// The file is untrusted: every offset and size is checked against the file's
// size by subtraction before it is used, the set chain must not loop, and each
// text must end inside its string area. Numbers need not ascend nor texts be
// distinct: other compilers write such files.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zel/catalog_io.h"
#include "zel/catalogs.h"

namespace zel {

namespace {

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
  unsigned char header[CATALOG_HEADER_SIZE];
  if (!readCatalogBytes(catalog, 0, header, sizeof header)) return false;
  if (std::memcmp(header, CATALOG_MAGIC, sizeof CATALOG_MAGIC) != 0 ||
      readBigEndian(header + CATALOG_VERSION_AT) != CATALOG_VERSION)
    return false;
  std::int32_t setCount = static_cast<std::int32_t>(readBigEndian(header + CATALOG_SET_COUNT_AT));
  // Each counted set needs a record of its own after the header.
  if (setCount <= 0 || static_cast<std::uint32_t>(setCount) >
                           (catalog->fileSize - CATALOG_HEADER_SIZE) / CATALOG_SET_RECORD_SIZE)
    return false;
  catalog->setCount = setCount;
  *firstSet = readBigEndian(header + CATALOG_FIRST_SET_AT);
  return true;
}

void decodeSetRecord(const unsigned char* record, CatalogSet* set) {
  set->setId = static_cast<std::int32_t>(readBigEndian(record + SET_ID_AT));
  set->next = readBigEndian(record + SET_NEXT_AT);
  set->messageTable = readBigEndian(record + SET_MESSAGE_TABLE_AT);
  set->stringArea = readBigEndian(record + SET_STRING_AREA_AT);
  set->stringAreaSize = readBigEndian(record + SET_STRING_AREA_SIZE_AT);
  set->messageCount = readBigEndian(record + SET_MESSAGE_COUNT_AT);
  set->block = nullptr;
  set->messages = nullptr;
  set->state = CATALOG_SET_UNLOADED;
  set->directTexts = nullptr;
  set->directFirst = 0;
  set->directSpan = 0;
}

// Follows the chain from firstSet until setCount sets are kept. A chain that
// comes back to a record it passed (found with Brent's method, in constant
// memory) refuses the file.
bool readSetChain(Catalog* catalog, std::uint32_t offset) {
  std::int32_t kept = 0;
  std::uint32_t tortoise = offset, power = 1, steps = 0;
  while (kept < catalog->setCount) {
    unsigned char record[CATALOG_SET_RECORD_SIZE];
    if (!readCatalogBytes(catalog, offset, record, sizeof record)) return false;
    if (readBigEndian(record + SET_SKIP_AT) == 0) {
      decodeSetRecord(record, &catalog->sets[kept]);
      ++kept;
    }
    offset = readBigEndian(record + SET_NEXT_AT);
    if (kept < catalog->setCount && offset == tortoise) return false;
    if (++steps == power) {
      tortoise = offset;
      power *= 2;
      steps = 0;
    }
  }
  return true;
}

// The search wants set numbers ascending and distinct, as the compiler writes
// them; other compilers need not. Such a file's sets are sorted here (by the
// number as the search compares it, unsigned), and of a repeated number the
// first in file order is kept. An ordered file costs one pass.
void orderSets(Catalog* catalog) {
  CatalogSet* sets = catalog->sets;
  std::int32_t count = catalog->setCount;
  auto number = [](const CatalogSet& set) { return static_cast<std::uint32_t>(set.setId); };
  std::int32_t i = 1;
  while (i < count && number(sets[i - 1]) < number(sets[i])) ++i;
  if (i >= count) return;
  std::stable_sort(sets, sets + count,
                   [number](const CatalogSet& a, const CatalogSet& b) { return number(a) < number(b); });
  std::int32_t kept = 1;
  for (i = 1; i < count; ++i)
    if (number(sets[i]) != number(sets[kept - 1])) sets[kept++] = sets[i];
  catalog->setCount = kept;
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
  catalog->sets =
      static_cast<CatalogSet*>(std::calloc(static_cast<std::size_t>(catalog->setCount), sizeof(CatalogSet)));
  if (catalog->sets == nullptr || !readSetChain(catalog, firstSet)) {
    freeCatalog(catalog);
    return nullptr;
  }
  orderSets(catalog);
  if (registerCatalog(path, catalog) != 0) {
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
