// The conversion engines behind convFromUtf8. Each works with pointers and
// ends only: *in and *out advance past what was consumed and written. A null
// *in is a reset. Engines never read outside the table image, which was
// checked for them when it was loaded.
#pragma once

#include "zel/converters.h"

namespace zel {

using Engine = int (*)(CodesetConverter* converter, const unsigned char** in, const unsigned char* inEnd,
                       unsigned char** out, unsigned char* outEnd);

// UTF-8 re-encoding (CT_UTF8) and byte copy (CT_OS and unknown types).
int encodeUtf8(CodesetConverter*, const unsigned char**, const unsigned char*, unsigned char**,
               unsigned char*);
int encodePassThrough(CodesetConverter*, const unsigned char**, const unsigned char*, unsigned char**,
                      unsigned char*);

// ASCII-based table codesets.
int encodeSbcs(CodesetConverter*, const unsigned char**, const unsigned char*, unsigned char**,
               unsigned char*);
int encodeDbcs(CodesetConverter*, const unsigned char**, const unsigned char*, unsigned char**,
               unsigned char*);
int encodeMbcs(CodesetConverter*, const unsigned char**, const unsigned char*, unsigned char**,
               unsigned char*);

// EBCDIC codesets.
int encodeEbcdicSbcs(CodesetConverter*, const unsigned char**, const unsigned char*, unsigned char**,
                     unsigned char*);
int encodeEbcdicMixed(CodesetConverter*, const unsigned char**, const unsigned char*, unsigned char**,
                      unsigned char*);

// GB18030.
int encodeGb18030(CodesetConverter*, const unsigned char**, const unsigned char*, unsigned char**,
                  unsigned char*);

// The engine for a converter type.
Engine engineForType(std::uint16_t type);

}  // namespace zel
