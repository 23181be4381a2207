// The table of open catalogs: registration, re-open, eviction of the least
// recently stamped closed catalog, growth, and catclose.
#include <cstdlib>
#include <cstring>

#include "zel/catalogs.h"
#include "zel/zel_state.h"

namespace zel {

namespace {

constexpr std::uint32_t FIRST_CAPACITY = 10;

void stampSlot(CatalogSlot* slot) {
  slot->lastUse = zelState.catalogUseCounter;
  ++zelState.catalogUseCounter;
}

// Index of the closed slot with the smallest stamp (first on a tie), or capacity.
std::uint32_t oldestClosedSlot() {
  CatalogTable& table = zelState.openCatalogs;
  std::uint32_t found = table.capacity;
  for (std::uint32_t i = 0; i < table.capacity; ++i) {
    const CatalogSlot* slot = table.slots[i];
    if (slot == nullptr || slot->state != 0) continue;
    if (found == table.capacity || slot->lastUse < table.slots[found]->lastUse) found = i;
  }
  return found;
}

void evictSlot(std::uint32_t index) {
  CatalogTable& table = zelState.openCatalogs;
  CatalogSlot* slot = table.slots[index];
  freeCatalog(slot->catalog);
  std::free(slot->path);
  std::free(slot);
  table.slots[index] = nullptr;
}

// Doubles the table (10 slots the first time); returns the first new index,
// or -1 when the capacity would wrap or memory ran out.
std::int64_t growTable() {
  CatalogTable& table = zelState.openCatalogs;
  std::uint32_t old = table.capacity;
  std::uint32_t grown = old == 0 ? FIRST_CAPACITY : old * 2;
  // NOLINTNEXTLINE(bugprone-sizeof-expression): the table holds pointers
  std::size_t bytes = std::size_t{grown} * sizeof(CatalogSlot*);
  // NOLINTNEXTLINE(bugprone-sizeof-expression): the table holds pointers
  if (grown < old || bytes / sizeof(CatalogSlot*) != grown) return -1;
  void* slots = std::realloc(table.slots, bytes);
  if (slots == nullptr) return -1;
  table.slots = static_cast<CatalogSlot**>(slots);
  for (std::uint32_t i = old; i < grown; ++i) table.slots[i] = nullptr;
  table.capacity = grown;
  return old;
}

std::int64_t freeSlotIndex() {
  CatalogTable& table = zelState.openCatalogs;
  for (std::uint32_t i = 0; i < table.capacity; ++i)
    if (table.slots[i] == nullptr) return i;
  std::uint32_t oldest = oldestClosedSlot();
  if (oldest < table.capacity) {
    evictSlot(oldest);
    return oldest;
  }
  return growTable();
}

}  // namespace

CatalogSlot* findCatalogSlot(const char* path) {
  CatalogTable& table = zelState.openCatalogs;
  for (std::uint32_t i = 0; i < table.capacity; ++i) {
    CatalogSlot* slot = table.slots[i];
    if (slot != nullptr && std::strcmp(slot->path, path) == 0) return slot;
  }
  return nullptr;
}

Catalog* reopenCatalogSlot(CatalogSlot* slot) {
  stampSlot(slot);
  slot->state = -1;
  return slot->catalog;
}

int registerCatalog(const char* path, Catalog* catalog) {
  std::size_t length = std::strlen(path);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  CatalogSlot* slot = static_cast<CatalogSlot*>(std::malloc(sizeof(CatalogSlot)));
  std::int64_t index = (copy != nullptr && slot != nullptr) ? freeSlotIndex() : -1;
  if (index < 0) {
    std::free(copy);
    std::free(slot);
    return -1;
  }
  std::memcpy(copy, path, length + 1);
  slot->path = copy;
  slot->catalog = catalog;
  stampSlot(slot);
  slot->state = 1;
  zelState.openCatalogs.slots[index] = slot;
  return 0;
}

int catclose(CatalogHandle handle) {
  CatalogTable& table = zelState.openCatalogs;
  if (handle == CAT_INVALID_HANDLE || handle == 0) return -1;
  for (std::uint32_t i = 0; i < table.capacity; ++i) {
    CatalogSlot* slot = table.slots[i];
    if (slot != nullptr && slot->state != 0 && reinterpret_cast<CatalogHandle>(slot->catalog) == handle) {
      slot->state = 0;
      return 0;
    }
  }
  return -1;
}

}  // namespace zel
