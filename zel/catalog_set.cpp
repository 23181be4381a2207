// Loading one set on its first use: one allocation holds the message records,
// the copy of the string area, the texts converted into the current codeset
// and the scratch area of converting lookups:
//
//   [CatalogMessage x messageCount][strings: S][converted: 2S][scratch: 2S]
//
// Message i gets 2 x L + 1 bytes (L = its text's length) at the same running
// offset in the converted and scratch areas.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zel/catalog_io.h"
#include "zel/catalogs.h"

namespace zel {

namespace {

constexpr std::size_t MESSAGE_RECORD_SIZE = 12;

// Size of the set's block, or 0 when the set's sizes do not fit the file or
// the address space.
std::size_t blockSize(const Catalog* catalog, const CatalogSet* set) {
  std::uint32_t size = catalog->fileSize;
  if (set->stringArea > size || set->stringAreaSize > size - set->stringArea) return 0;
  if (set->messageTable > size || set->messageCount > (size - set->messageTable) / MESSAGE_RECORD_SIZE)
    return 0;
  std::size_t messages = std::size_t{set->messageCount} * sizeof(CatalogMessage);
  if (set->stringAreaSize > (SIZE_MAX - messages - 1) / 5) return 0;
  return messages + 5 * std::size_t{set->stringAreaSize} + 1;
}

// Fills the message array from the raw records; false when a record breaks
// the rules the lookups rely on (text inside the string area and terminated
// there, ascending numbers, converted texts within their area).
bool buildMessages(CatalogSet* set, const unsigned char* records) {
  std::size_t stringSize = set->stringAreaSize;
  char* strings = reinterpret_cast<char*>(set->block) + set->messageCount * sizeof(CatalogMessage);
  char* converted = strings + stringSize;
  char* scratch = converted + 2 * stringSize;
  std::size_t used = 0;
  for (std::uint32_t i = 0; i < set->messageCount; ++i) {
    const unsigned char* record = records + i * MESSAGE_RECORD_SIZE;
    CatalogMessage* message = &set->messages[i];
    message->msgId = static_cast<std::int32_t>(readBigEndian(record));
    message->textOffset = readBigEndian(record + 4);
    message->reserved = readBigEndian(record + 8);
    if (i > 0 && message->msgId <= set->messages[i - 1].msgId) return false;
    if (message->textOffset >= stringSize) return false;
    const char* text = strings + message->textOffset;
    const void* end = std::memchr(text, '\0', stringSize - message->textOffset);
    if (end == nullptr) return false;
    std::size_t room = 2 * static_cast<std::size_t>(static_cast<const char*>(end) - text) + 1;
    if (room > 2 * stringSize - used) return false;
    message->text = text;
    message->converted = converted + used;
    message->scratch = scratch + used;
    convertLoadedText(text, message->converted, room);
    used += room;
  }
  return true;
}

int failLoad(CatalogSet* set, unsigned char* records, int result) {
  std::free(records);
  std::free(set->block);
  set->block = nullptr;
  set->messages = nullptr;
  return result;
}

}  // namespace

int loadSet(Catalog* catalog, CatalogSet* set) {
  std::size_t size = blockSize(catalog, set);
  if (size == 0) return 0;
  set->block = static_cast<unsigned char*>(std::malloc(size));
  if (set->block == nullptr) return -1;
  set->messages = reinterpret_cast<CatalogMessage*>(set->block);
  char* strings = reinterpret_cast<char*>(set->block) + set->messageCount * sizeof(CatalogMessage);
  if (!readCatalogBytes(catalog, set->stringArea, strings, set->stringAreaSize))
    return failLoad(set, nullptr, 0);
  std::size_t tableSize = std::size_t{set->messageCount} * MESSAGE_RECORD_SIZE;
  unsigned char* records = static_cast<unsigned char*>(std::malloc(tableSize + 1));
  if (records == nullptr) return failLoad(set, nullptr, -1);
  if (!readCatalogBytes(catalog, set->messageTable, records, tableSize) || !buildMessages(set, records))
    return failLoad(set, records, 0);
  std::free(records);
  set->state = CATALOG_SET_LOADED;
  return 1;
}

}  // namespace zel
