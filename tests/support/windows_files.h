// Helpers of the Windows tests: a test-private directory tree in the build
// directory, files, registry values as an installer writes them, and the
// event-log records of the Wine session.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

inline void writeFile(const std::string& path, const std::string& content) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

inline bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

constexpr char SERVICES_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\";

// Writes a value under HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\key.
inline void setServiceValue(const std::string& key, const char* name, DWORD type, const void* data,
                            DWORD size) {
  HKEY handle;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (SERVICES_KEY + key).c_str(), 0, nullptr, 0, KEY_WRITE,
                            nullptr, &handle, nullptr),
            ERROR_SUCCESS)
      << key;
  EXPECT_EQ(RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  RegCloseKey(handle);
}

inline void setWorkingDirectory(const std::string& key, const std::string& dir) {
  setServiceValue(key, "WorkingDirectory", REG_SZ, dir.c_str(), static_cast<DWORD>(dir.size() + 1));
}

inline void deleteServiceKey(const std::string& key) {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (SERVICES_KEY + key).c_str());
}

// Wine's event-log records of this session: "err:eventlog" lines for error
// events, "trace:eventlog" lines for the others.
inline std::vector<std::string> eventLines(const char* channel, const std::string& token) {
  std::vector<std::string> lines;
  std::ifstream in(std::string(ZAQ_BINARY_DIR) + "/wine/session.log");
  for (std::string line; std::getline(in, line);)
    if (line.find(channel) != std::string::npos && line.find(token) != std::string::npos)
      lines.push_back(line);
  return lines;
}

}  // namespace zaq_test
