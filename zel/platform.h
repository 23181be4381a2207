// The operating system's answers that ZEL needs: the user's language and the
// user's default code page. One implementation per system, chosen by CMake.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

// The user's default language identifier (Windows LANGID); 0 where there is none.
std::uint16_t platformUserLanguageId();

// The user's default code page as text into buffer (bounded, always terminated
// when size > 0): the OEM code page when oem is true, else the ANSI code page.
// Windows gives the decimal number, or "" when it is 0; elsewhere the locale's
// codeset name stands in for it.
void platformCodePage(bool oem, char* buffer, std::size_t size);

}  // namespace zel
