// The conversion interface: open converters by codeset name, install the
// current converter, convert whole UTF-8 strings.
#pragma once

#include <cstddef>

#include "zel/converters.h"

namespace zel {

// Converts inputLength bytes of UTF-8 (a negative length: up to the
// terminating zero, and a terminator is written) into output. Returns the
// bytes written, terminator included. Output that does not fit is cut before
// the first character that does not fit. A null converter means
// currentConverter; a null input is "" and a null output has no room.
std::size_t fromUtf8String(CodesetConverter* converter, const char* input, std::ptrdiff_t inputLength,
                           char* output, std::size_t outputSize);

// Converts the NUL-terminated text (null counts as "") into a buffer of
// 2 x strlen(text) + 1 bytes: *bufferRef when it is a non-null buffer (which
// must be that large), else a new malloc block that the caller frees and that
// is also stored through bufferRef when bufferRef is not null. Null when the
// block cannot be allocated.
char* fromUtf8Alloc(CodesetConverter* converter, const char* text, char** bufferRef);

// A converter for a codeset name: normalised first unless it holds '/' or
// '\'. Null when none can be opened.
CodesetConverter* openCodeset(const char* name);

// Installs the converter used for null converter arguments (osConverter for
// null), after the library start-up. Returns 0.
int setCurrentConverter(CodesetConverter* converter);

}  // namespace zel
