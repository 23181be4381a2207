// Loading one set on its first use: one allocation holds the message records,
// the direct index (when the numbering is dense enough), the copy of the
// string area, the texts converted into the current codeset and the scratch
// area of converting lookups.
//
// Each text gets 2 x L + 1 bytes (L = its length) at the same running offset
// in the converted and scratch areas; messages that share the text share them.
// A set whose numbers do not ascend is sorted once loaded; the compiler's own
// sets ascend and are taken as they are.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "zel/catalog_io.h"
#include "zel/catalogs.h"

namespace zel {

namespace {

// Where the parts of a set's block lie.
struct SetLayout {
  std::size_t indexAt, stringsAt, size;
};

std::int32_t recordId(const unsigned char* records, std::uint32_t i) {
  return static_cast<std::int32_t>(readBigEndian(records + i * CATALOG_MESSAGE_RECORD_SIZE + MESSAGE_ID_AT));
}

// False unless the message table and string area lie inside the file.
bool setFitsFile(const Catalog* catalog, const CatalogSet* set) {
  std::uint32_t size = catalog->fileSize;
  if (set->stringArea > size || set->stringAreaSize > size - set->stringArea) return false;
  return set->messageTable <= size &&
         set->messageCount <= (size - set->messageTable) / CATALOG_MESSAGE_RECORD_SIZE;
}

// Whether the numbers ascend from 1 up without repeats, as the compiler
// writes them: the messages can then be searched in file order.
bool numbersAscend(const unsigned char* records, std::uint32_t count) {
  if (count > 0 && recordId(records, 0) < 1) return false;
  for (std::uint32_t i = 1; i < count; ++i)
    if (recordId(records, i) <= recordId(records, i - 1)) return false;
  return true;
}

// A set whose numbers (those from 1 up, the only ones found) span at most
// twice its count (plus a little) gets a direct index: catgets then answers
// with one probe, whatever the order of the numbers in the file.
void planDirectIndex(CatalogSet* set, const unsigned char* records, bool ascending) {
  std::uint32_t count = set->messageCount;
  std::int32_t first = 0, last = 0;
  set->directSpan = 0;
  if (count == 0) return;
  if (ascending) {
    first = recordId(records, 0);
    last = recordId(records, count - 1);
  } else {
    for (std::uint32_t i = 0; i < count; ++i) {
      std::int32_t id = recordId(records, i);
      if (id < 1) continue;
      if (first == 0 || id < first) first = id;
      if (id > last) last = id;
    }
    if (first == 0) return;
  }
  std::int64_t span = std::int64_t{last} - first + 1;
  if (span <= 2 * std::int64_t{count} + 16) set->directSpan = static_cast<std::uint32_t>(span);
  set->directFirst = first;
}

// count x each, when it is at most limit.
bool productFits(std::size_t count, std::size_t each, std::size_t limit, std::size_t* product) {
  if (count > limit / each) return false;
  *product = count * each;
  return true;
}

// Block: [messages][direct index][strings: S][converted: 2S][scratch: 2S].
// Counts are bounded by the file's size, but a 32-bit address space can
// still overflow: every step is checked against what is left.
bool planLayout(const CatalogSet* set, SetLayout* layout) {
  std::size_t messages = 0, index = 0;
  if (!productFits(set->messageCount, sizeof(CatalogMessage), SIZE_MAX, &messages)) return false;
  if (!productFits(set->directSpan, sizeof(char*), SIZE_MAX - messages, &index)) return false;
  if (set->stringAreaSize > (SIZE_MAX - messages - index - 1) / 5) return false;
  layout->indexAt = messages;
  layout->stringsAt = messages + index;
  layout->size = layout->stringsAt + 5 * std::size_t{set->stringAreaSize} + 1;
  return true;
}

// Fills the message array from the raw records; false when a text does not
// start inside the string area or has no terminator there, or the converted
// texts would not fit their area. Messages that share a text offset share its
// converted and scratch room, so rooms are given out in the order of the text
// offsets; the records, no longer needed by then, hold the sort keys.
bool buildMessages(CatalogSet* set, unsigned char* records, const SetLayout& layout) {
  std::size_t stringSize = set->stringAreaSize;
  char* strings = reinterpret_cast<char*>(set->block) + layout.stringsAt;
  char* converted = strings + stringSize;
  char* scratch = converted + 2 * stringSize;
  std::uint32_t count = set->messageCount;
  for (std::uint32_t i = 0; i < count; ++i) {
    const unsigned char* record = records + i * CATALOG_MESSAGE_RECORD_SIZE;
    CatalogMessage* message = &set->messages[i];
    message->msgId = static_cast<std::int32_t>(readBigEndian(record + MESSAGE_ID_AT));
    message->textOffset = readBigEndian(record + MESSAGE_TEXT_OFFSET_AT);
    message->reserved = readBigEndian(record + MESSAGE_RESERVED_AT);
    if (message->textOffset >= stringSize) return false;
    message->text = strings + message->textOffset;
    if (std::memchr(message->text, '\0', stringSize - message->textOffset) == nullptr) return false;
  }
  // Keys (text offset, index) fit the 12-byte records they replace.
  std::uint64_t* keys = reinterpret_cast<std::uint64_t*>(records);
  for (std::uint32_t i = 0; i < count; ++i) keys[i] = std::uint64_t{set->messages[i].textOffset} << 32 | i;
  std::sort(keys, keys + count);
  std::size_t used = 0;
  const CatalogMessage* holder = nullptr;  // the last message given room of its own
  for (std::uint32_t k = 0; k < count; ++k) {
    CatalogMessage* message = &set->messages[keys[k] & 0xFFFFFFFFu];
    if (holder != nullptr && holder->textOffset == message->textOffset) {
      message->converted = holder->converted;
      message->scratch = holder->scratch;
      continue;
    }
    std::size_t room = 2 * std::strlen(message->text) + 1;
    if (room > 2 * stringSize - used) return false;
    message->converted = converted + used;
    message->scratch = scratch + used;
    convertLoadedText(message->text, message->converted, room);
    used += room;
    holder = message;
  }
  return true;
}

// The search wants message numbers ascending and distinct from 1 up; a set
// that does not keep them so is sorted here. Of a repeated number the first
// in file order is kept; numbers below 1, never found, are dropped.
void orderMessages(CatalogSet* set) {
  CatalogMessage* messages = set->messages;
  std::uint32_t count = set->messageCount;
  std::stable_sort(messages, messages + count,
                   [](const CatalogMessage& a, const CatalogMessage& b) { return a.msgId < b.msgId; });
  std::uint32_t kept = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (messages[i].msgId < 1 || (kept > 0 && messages[i].msgId == messages[kept - 1].msgId)) continue;
    messages[kept++] = messages[i];
  }
  set->messageCount = kept;
}

void fillDirectIndex(CatalogSet* set, const SetLayout& layout) {
  char** index = reinterpret_cast<char**>(set->block + layout.indexAt);
  for (std::uint32_t k = 0; k < set->directSpan; ++k) index[k] = nullptr;
  for (std::uint32_t i = 0; i < set->messageCount && set->directSpan > 0; ++i)
    index[set->messages[i].msgId - set->directFirst] = set->messages[i].converted;
  set->directTexts = index;
}

int failLoad(CatalogSet* set, unsigned char* records, int result) {
  std::free(records);
  std::free(set->block);
  set->block = nullptr;
  set->messages = nullptr;
  set->directTexts = nullptr;
  set->directSpan = 0;
  return result;
}

}  // namespace

// The message table is read first: its numbering decides the block's layout.
int loadSet(Catalog* catalog, CatalogSet* set) {
  if (!setFitsFile(catalog, set)) return 0;
  std::size_t tableSize = std::size_t{set->messageCount} * CATALOG_MESSAGE_RECORD_SIZE;
  unsigned char* records = static_cast<unsigned char*>(std::malloc(tableSize + 1));
  if (records == nullptr) return -1;
  SetLayout layout;
  if (!readCatalogBytes(catalog, set->messageTable, records, tableSize)) return failLoad(set, records, 0);
  bool ascending = numbersAscend(records, set->messageCount);
  planDirectIndex(set, records, ascending);
  if (!planLayout(set, &layout)) return failLoad(set, records, 0);
  set->block = static_cast<unsigned char*>(std::malloc(layout.size));
  if (set->block == nullptr) return failLoad(set, records, -1);
  set->messages = reinterpret_cast<CatalogMessage*>(set->block);
  char* strings = reinterpret_cast<char*>(set->block) + layout.stringsAt;
  if (!readCatalogBytes(catalog, set->stringArea, strings, set->stringAreaSize) ||
      !buildMessages(set, records, layout))
    return failLoad(set, records, 0);
  if (!ascending) orderMessages(set);
  fillDirectIndex(set, layout);
  std::free(records);
  set->state = CATALOG_SET_LOADED;
  return 1;
}

}  // namespace zel
