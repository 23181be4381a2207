// Directory trees of the Windows tests: test-private folders in the build
// directory, made, entered and removed.
#pragma once

#include <windows.h>

#include <string>

namespace zaq_test {

// A Windows path of the build tree (ZAQ_BINARY_DIR has forward slashes).
inline std::string buildPath(const std::string& relative) {
  std::string path = std::string(ZAQ_BINARY_DIR) + "\\" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

// Removes a directory tree (files and directories), ignoring what is missing.
inline void removeTree(const std::string& dir) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = dir + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        removeTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

// Creates every directory of path (no trailing "\").
inline void makeDirectories(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  CreateDirectoryA(path.c_str(), nullptr);
}

inline std::string currentDirectory() {
  char buffer[MAX_PATH * 4];
  DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

// Makes dir a new, empty directory and the current one; returns the directory
// that was current before, for the test to go back to.
inline std::string enterFreshDirectory(const std::string& dir) {
  std::string before = currentDirectory();
  removeTree(dir);
  makeDirectories(dir);
  SetCurrentDirectoryA(dir.c_str());
  return before;
}

inline bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace zaq_test
