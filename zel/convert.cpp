// The conversion interface over the dispatcher.
#include "zel/convert.h"

#include <cstdlib>
#include <cstring>

#include "zel/locale.h"
#include "zel/zel_state.h"

namespace zel {

std::size_t fromUtf8String(CodesetConverter* converter, const char* input, std::ptrdiff_t inputLength,
                           char* output, std::size_t outputSize) {
  // A null output has no room at all.
  if (outputSize == 0 || output == nullptr) return 0;
  if (converter == nullptr) {
    if (!zelState.zelInitialized) zelInitialize();
    converter = zelState.currentConverter;
  }
  converter->encodeShift = 0;
  bool terminate = inputLength < 0;
  // A null input is empty whatever its length says.
  if (input == nullptr) {
    input = "";
    if (!terminate) inputLength = 0;
  }
  std::size_t inCount = terminate ? std::strlen(input) : static_cast<std::size_t>(inputLength);
  std::size_t outCount = terminate ? outputSize - 1 : outputSize;
  const char* in = input;
  char* out = output;
  convFromUtf8(converter, &in, &inCount, &out, &outCount);
  const char* none = nullptr;
  convFromUtf8(converter, &none, &inCount, &out, &outCount);
  if (terminate) *out = '\0';
  return outputSize - outCount;
}

char* fromUtf8Alloc(CodesetConverter* converter, const char* text, char** bufferRef) {
  if (text == nullptr) text = "";
  std::size_t length = std::strlen(text);
  if (length > (static_cast<std::size_t>(-1) - 1) / 2) return nullptr;
  std::size_t size = 2 * length + 1;
  char* buffer = bufferRef != nullptr ? *bufferRef : nullptr;
  if (buffer == nullptr) {
    buffer = static_cast<char*>(std::malloc(size));
    if (buffer == nullptr) return nullptr;
    if (bufferRef != nullptr) *bufferRef = buffer;
  }
  fromUtf8String(converter, text, -1, buffer, size);
  return buffer;
}

CodesetConverter* openCodeset(const char* name) {
  if (name == nullptr) return nullptr;
  if (std::strchr(name, '/') != nullptr || std::strchr(name, '\\') != nullptr) return openConverter(name);
  char normalised[CODESET_NAME_SIZE];
  normalizeCodesetName(name, normalised, sizeof normalised);
  return openConverter(normalised);
}

int setCurrentConverter(CodesetConverter* converter) {
  if (!zelState.zelInitialized) zelInitialize();
  zelState.currentConverter = converter != nullptr ? converter : zelState.osConverter;
  return 0;
}

}  // namespace zel
