// The two guided binary searches. Numbers are distinct and ascending, so set n
// sits at index n or before, and message m at index m - 1 or before: both
// searches start where the numbering predicts and narrow the range by the
// difference between the number found and the one wanted, so densely numbered
// catalogs are answered at the first or second probe.
#include <cstdint>

#include "zel/catalogs.h"

namespace zel {

namespace {

// Ranges only shrink, so a search ends within a few dozen probes even over
// corrupt numbering; this bound only guards that reasoning.
constexpr int MAX_PROBES = 100;

}  // namespace

CatalogSet* findSet(Catalog* catalog, int setId) {
  if (catalog == nullptr || setId < 0) return nullptr;
  std::int64_t lo = 0, hi, mid, direction = 0;
  if (setId == 0) {
    mid = hi = 0;
  } else if (setId < catalog->setCount) {
    mid = hi = setId;
  } else {
    hi = catalog->setCount - 1;
    mid = hi / 2;
  }
  for (int probe = 0; probe < MAX_PROBES; ++probe) {
    CatalogSet* set = &catalog->sets[mid];
    if (set->setId == setId) {
      if (set->state != CATALOG_SET_LOADED) loadSet(catalog, set);
      return set;
    }
    if (set->setId < setId) {
      lo = mid + 1;
      std::int64_t limit = mid + (std::int64_t{setId} - set->setId);
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

const CatalogMessage* findMessage(const CatalogSet* set, int msgId) {
  if (set == nullptr || set->state != CATALOG_SET_LOADED || msgId < 1) return nullptr;
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

}  // namespace zel
