// Which Windows code page a text in one of the ZEL library's codesets is in:
// what the console needs to show the service host's messages as characters.
// Plain text work, no system calls.
#pragma once

namespace zaq {

// The Windows code page of the codeset a converter is named (its table name,
// as normalizeCodesetName gives it: "1252", "UTF8", "GB18030", ...), or 0 when
// the codeset has none. "OS", the built-in pass-through, leaves the catalogs'
// UTF-8 as it is.
unsigned codePageOfCodeset(const char* name);

}  // namespace zaq
