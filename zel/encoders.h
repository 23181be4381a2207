// The conversion engines behind convFromUtf8. Each works with pointers and
// ends only: *in and *out advance past what was consumed and written. A null
// *in is a reset. Engines never read outside the table image, which was
// checked for them when it was loaded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zel/converters.h"

namespace zel {

// Every engine has this type; declared through it, each engine's signature is
// written once.
using EngineFunction = ConvStatus(CodesetConverter* converter, const unsigned char** in,
                                  const unsigned char* inEnd, unsigned char** out, unsigned char* outEnd);
using Engine = EngineFunction*;

// UTF-8 re-encoding (CT_UTF8) and byte copy (CT_OS and unknown types).
EngineFunction encodeUtf8;
EngineFunction encodePassThrough;
// ASCII-based table codesets.
EngineFunction encodeSbcs;
EngineFunction encodeDbcs;
EngineFunction encodeMbcs;
// EBCDIC codesets.
EngineFunction encodeEbcdicSbcs;
EngineFunction encodeEbcdicMixed;
// GB18030.
EngineFunction encodeGb18030;

// The direct index of a double-byte, multi-byte or GB18030 converter: one
// entry per 16-bit value, a byte (below 0x100), a two-byte code (first byte
// high), or one of the two marks below. The index turns the two dependent
// table reads of a character (row position, then entry) or the GB18030 range
// scan into one read.
inline constexpr std::size_t BMP_CODE_COUNT = 0x10000;
inline constexpr std::uint16_t BMP_CODE_UNMAPPED = 0xFFFF;  // '?', one substitution
inline constexpr std::uint16_t BMP_CODE_GENERAL = 0xFFFE;   // left to the engine's general path

// The bytes of U+0000 to U+07FF in a single-byte converter (CT_SBCS): the
// whole reach of one- and two-byte UTF-8 sequences, read with one access.
inline constexpr std::size_t SBCS_LOW_COUNT = 0x800;
void buildSbcsLowBytes(const CodesetConverter* converter, unsigned char* bytes);

// Fill codes (BMP_CODE_COUNT entries) from a checked table of type 2 or 3,
// or of type 10.
void buildAsciiBasedCodes(const CodesetConverter* converter, std::uint16_t* codes);
void buildGb18030Codes(const CodesetConverter* converter, std::uint16_t* codes);

// The engine for a converter type.
Engine engineForType(std::uint16_t type);

}  // namespace zel
