// Lookups: catgets and the two guided binary searches. Numbers are distinct and
// ascending (the loader sorts the sets and messages of a file that does not
// keep them so), so set n sits at index n or before, and message m at index
// m - 1 or before: both searches start where the numbering predicts and
// narrow the range by the difference between the number found and the one
// wanted, so densely numbered catalogs are answered at the first or second
// probe.
#include <cstdint>

#include "zel/catalogs.h"

namespace zel {

namespace {

// Ranges only shrink, so a search ends within a few dozen probes whatever
// the numbering; this bound only guards that reasoning.
constexpr int MAX_PROBES = 100;

// The first index probed for setId, and the last index it can be at.
inline std::int64_t predictedSetIndex(const Catalog* catalog, int setId, std::int64_t* hi) {
  if (setId < catalog->setCount) return *hi = setId;
  *hi = catalog->setCount - 1;
  return *hi / 2;
}

CatalogSet* guidedSetSearch(Catalog* catalog, int setId) {
  std::int64_t lo = 0, hi, mid = predictedSetIndex(catalog, setId, &hi), direction = 0;
  for (int probe = 0; probe < MAX_PROBES; ++probe) {
    CatalogSet* set = &catalog->sets[mid];
    if (set->setId == setId) {
      if (set->state != CATALOG_SET_LOADED) loadSet(catalog, set);
      return set;
    }
    // Set numbers are unsigned in the file: one above 0x7FFFFFFF is larger
    // than any wanted number.
    std::int64_t found = static_cast<std::uint32_t>(set->setId);
    if (found < setId) {
      lo = mid + 1;
      std::int64_t limit = mid + (setId - found);
      if (limit < hi) hi = limit;
      direction = 1;
    } else {
      hi = mid;
      direction = -1;
    }
    std::int64_t next = lo + (hi - lo) / 2;
    mid = next != mid ? next : mid + direction;
    if (lo > hi || mid < lo || mid > hi) return nullptr;
  }
  return nullptr;
}

const CatalogMessage* guidedMessageSearch(const CatalogSet* set, int msgId) {
  std::int64_t lo = 0, hi, mid;
  std::int64_t count = set->messageCount;
  if (msgId - 1 < count) {
    mid = msgId - 1;
    hi = msgId;
  } else {
    hi = count;
    mid = hi / 2;
  }
  for (int probe = 0; probe < MAX_PROBES && lo < hi && mid >= lo && mid < hi; ++probe) {
    const CatalogMessage* message = &set->messages[mid];
    std::int64_t direction;
    if (message->msgId == msgId) return message;
    if (message->msgId < msgId) {
      lo = mid + 1;
      std::int64_t limit = mid + (std::int64_t{msgId} - message->msgId) + 1;
      if (limit < hi) hi = limit;
      direction = 1;
    } else {
      hi = mid;
      direction = -1;
    }
    if (lo >= hi) return nullptr;
    mid += hi - lo == 1 ? direction : direction * ((hi - lo) / 2);
  }
  return nullptr;
}

// The lookups as catgets makes them, inlined there: a loaded set found at the
// first probe and a directly indexed message answer without a loop.
[[gnu::always_inline]] inline CatalogSet* lookUpSet(Catalog* catalog, int setId) {
  if (catalog == nullptr || setId < 0) return nullptr;
  std::int64_t hi;
  CatalogSet* set = &catalog->sets[predictedSetIndex(catalog, setId, &hi)];
  if (set->setId == setId && set->state == CATALOG_SET_LOADED) return set;
  return guidedSetSearch(catalog, setId);
}

// The text converted at load, through the set's direct index; returns
// defaultText when absent. Only for sets that have the index.
[[gnu::always_inline]] inline const char* directText(const CatalogSet* set, int msgId,
                                                     const char* defaultText) {
  std::int64_t k = std::int64_t{msgId} - set->directFirst;
  if (msgId < 1 || k < 0 || k >= set->directSpan) return defaultText;
  const char* text = set->directTexts[k];
  return text != nullptr ? text : defaultText;
}

}  // namespace

CatalogSet* findSet(Catalog* catalog, int setId) {
  return lookUpSet(catalog, setId);
}

const CatalogMessage* findMessage(const CatalogSet* set, int msgId) {
  if (set == nullptr || set->state != CATALOG_SET_LOADED || msgId < 1) return nullptr;
  return guidedMessageSearch(set, msgId);
}

const char* catgetsConverted(Catalog* catalog, int setId, int msgId, const char* defaultText,
                             CodesetConverter* converter) {
  if (catalog == nullptr) return defaultText;
  const CatalogSet* set = lookUpSet(catalog, setId);
  if (converter == nullptr && set != nullptr && set->state == CATALOG_SET_LOADED && set->directSpan > 0)
    return directText(set, msgId, defaultText);
  const CatalogMessage* message = findMessage(set, msgId);
  if (message == nullptr) return defaultText;
  if (converter == nullptr) return message->converted;
  return convertForLookup(converter, message);
}

const char* catgets(CatalogHandle handle, int setId, int msgId, const char* defaultText) {
  Catalog* catalog = handle == CAT_INVALID_HANDLE ? nullptr : reinterpret_cast<Catalog*>(handle);
  return catgetsConverted(catalog, setId, msgId, defaultText, nullptr);
}

}  // namespace zel
