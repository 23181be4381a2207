// The table of open catalogs: registration, re-open, eviction of the least
// recently stamped closed catalog, growth, and catclose.
#include <cstdlib>
#include <cstring>

#include "zel/catalogs.h"

namespace zel {

CatalogTable openCatalogs = {nullptr, 0};
std::uint32_t catalogUseCounter = 0;

namespace {

constexpr std::uint32_t FIRST_CAPACITY = 10;

void stampSlot(CatalogSlot* slot) {
  slot->lastUse = catalogUseCounter;
  ++catalogUseCounter;
}

// Index of the closed slot with the smallest stamp (first on a tie), or capacity.
std::uint32_t oldestClosedSlot() {
  std::uint32_t found = openCatalogs.capacity;
  for (std::uint32_t i = 0; i < openCatalogs.capacity; ++i) {
    const CatalogSlot* slot = openCatalogs.slots[i];
    if (slot == nullptr || slot->state != 0) continue;
    if (found == openCatalogs.capacity || slot->lastUse < openCatalogs.slots[found]->lastUse) found = i;
  }
  return found;
}

void evictSlot(std::uint32_t index) {
  CatalogSlot* slot = openCatalogs.slots[index];
  freeCatalog(slot->catalog);
  std::free(slot->path);
  std::free(slot);
  openCatalogs.slots[index] = nullptr;
}

// Doubles the table (10 slots the first time); returns the first new index,
// or -1 when the capacity would wrap or memory ran out.
std::int64_t growTable() {
  std::uint32_t old = openCatalogs.capacity;
  std::uint32_t grown = old == 0 ? FIRST_CAPACITY : old * 2;
  // NOLINTNEXTLINE(bugprone-sizeof-expression): the table holds pointers
  std::size_t bytes = std::size_t{grown} * sizeof(CatalogSlot*);
  // NOLINTNEXTLINE(bugprone-sizeof-expression): the table holds pointers
  if (grown < old || bytes / sizeof(CatalogSlot*) != grown) return -1;
  void* slots = std::realloc(openCatalogs.slots, bytes);
  if (slots == nullptr) return -1;
  openCatalogs.slots = static_cast<CatalogSlot**>(slots);
  for (std::uint32_t i = old; i < grown; ++i) openCatalogs.slots[i] = nullptr;
  openCatalogs.capacity = grown;
  return old;
}

std::int64_t freeSlotIndex() {
  for (std::uint32_t i = 0; i < openCatalogs.capacity; ++i)
    if (openCatalogs.slots[i] == nullptr) return i;
  std::uint32_t oldest = oldestClosedSlot();
  if (oldest < openCatalogs.capacity) {
    evictSlot(oldest);
    return oldest;
  }
  return growTable();
}

}  // namespace

CatalogSlot* findCatalogSlot(const char* path) {
  for (std::uint32_t i = 0; i < openCatalogs.capacity; ++i) {
    CatalogSlot* slot = openCatalogs.slots[i];
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
  openCatalogs.slots[index] = slot;
  return 0;
}

int catclose(CatalogHandle handle) {
  if (handle == CAT_INVALID_HANDLE || handle == 0) return -1;
  for (std::uint32_t i = 0; i < openCatalogs.capacity; ++i) {
    CatalogSlot* slot = openCatalogs.slots[i];
    if (slot != nullptr && slot->state != 0 && reinterpret_cast<CatalogHandle>(slot->catalog) == handle) {
      slot->state = 0;
      return 0;
    }
  }
  return -1;
}

}  // namespace zel
