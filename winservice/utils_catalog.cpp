#include "winservice/utils.h"

namespace zaq {

const char* getCatalogMessage(zel::CatalogHandle catalogHandle, int setId, int msgId,
                              const char* defaultText) {
  // Zero: no catalog was ever opened. A failed open (-1) is catgets' to answer.
  if (catalogHandle == 0) return defaultText;
  const char* text = zel::catgets(catalogHandle, setId, msgId, defaultText);
  return text != nullptr ? text : defaultText;
}

}  // namespace zaq
