// Conversion of catalog texts, stored as UTF-8: into the current codeset when
// a set is loaded, and into a caller's codeset by converting lookups.
#include "zel/catalogs.h"
#include "zel/convert.h"
#include "zel/zel_state.h"

namespace zel {

void convertLoadedText(const char* text, char* output, std::size_t outputSize) {
  fromUtf8String(nullptr, text, -1, output, outputSize);
}

// The message's scratch area holds 2 x length + 1 bytes, as fromUtf8Alloc
// needs, so the conversion never allocates; each call overwrites the last.
const char* convertForLookup(CodesetConverter* converter, const CatalogMessage* message) {
  if (converter == utf8Converter()) return message->text;
  char* scratch = message->scratch;
  return fromUtf8Alloc(converter, message->text, &scratch);
}

}  // namespace zel
