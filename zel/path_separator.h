// The data paths (aliases and codeset table files): their directory
// separator, a backslash on Windows, where installations lay out their data,
// a slash where the library runs natively; and the size of their buffers.
#pragma once

#include <cstddef>

namespace zel {

#ifdef _WIN32
inline constexpr char PATH_SEPARATOR = '\\';
#else
inline constexpr char PATH_SEPARATOR = '/';
#endif

inline constexpr std::size_t DATA_PATH_SIZE = 255;

}  // namespace zel
