// The directory separator of the data paths: a backslash on Windows, where
// installations lay out their data; a slash where the library runs natively.
#pragma once

namespace zel {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

}  // namespace zel
