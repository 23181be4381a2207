#include <windows.h>

#include "winservice/utils.h"

namespace zaq {

namespace {

// The service thread, the requester of a stop and the console handlers look
// messages up at the same moment. A set's first lookup loads it from the
// catalog's one stream, and a set that failed to load is loaded again on the
// next lookup: one lookup at a time, so that one thread loads it while the
// others wait and then find it loaded (or try again after it).
SRWLOCK catalogGuard = SRWLOCK_INIT;

}  // namespace

const char* getCatalogMessage(zel::CatalogHandle catalogHandle, int setId, int msgId,
                              const char* defaultText) {
  // Zero: no catalog was ever opened. A failed open (-1) is catgets' to answer.
  if (catalogHandle == 0) return defaultText;
  AcquireSRWLockExclusive(&catalogGuard);
  const char* text = zel::catgets(catalogHandle, setId, msgId, defaultText);
  ReleaseSRWLockExclusive(&catalogGuard);
  return text != nullptr ? text : defaultText;
}

}  // namespace zaq
