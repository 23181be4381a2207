// The built-in table of the characters that every EBCDIC Latin code page
// shares (letters, digits, space, common punctuation, control codes).
#pragma once

namespace zel {

// Set for U+0000-U+0020, U+0025-U+003F, U+0041-U+005A, U+005F,
// U+0061-U+007A and U+007F (114 values); clear for the rest of 0x00-0xFF.
extern const bool (&unicodeInvariantChars)[256];
// The code page 1047 byte of each flagged value, except LF, which is written
// as NL (0x15); zero for the unflagged values.
extern const unsigned char unicodeToEbcdic[256];

}  // namespace zel
