// Conversion of catalog texts (stored as UTF-8). Until the converters are
// wired in, texts pass through unchanged.
#include <cstring>

#include "zel/catalogs.h"

namespace zel {

void convertLoadedText(const char* text, char* output, std::size_t outputSize) {
  if (outputSize == 0) return;
  std::size_t length = std::strlen(text);
  if (length >= outputSize) length = outputSize - 1;
  std::memcpy(output, text, length);
  output[length] = '\0';
}

const char* convertForLookup(CodesetConverter* /*converter*/, const CatalogMessage* message) {
  return message->text;
}

}  // namespace zel
