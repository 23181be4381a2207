#include "winservice/program_file.h"

#include <windows.h>

#include <string>

namespace zaq {

namespace {

constexpr char BLANKS_AND_QUOTES[] = " \t\"";

// What call writes into a buffer of the size it asks for; "" when it fails.
template <typename Call>
std::string pathFrom(Call call) {
  std::string path(MAX_PATH, '\0');
  DWORD length = call(path.data(), static_cast<DWORD>(path.size()));
  if (length >= path.size()) {
    path.assign(length, '\0');
    length = call(path.data(), static_cast<DWORD>(path.size()));
  }
  if (length == 0 || length >= path.size()) return {};
  path.resize(length);
  return path;
}

// The full path with the long form of each name, as far as Windows knows
// them (a file that is gone keeps its spelling past the last known folder).
std::string normalForm(const std::string& path) {
  std::string full =
      pathFrom([&](char* out, DWORD size) { return GetFullPathNameA(path.c_str(), size, out, nullptr); });
  if (full.empty()) return path;
  std::string longForm =
      pathFrom([&](char* out, DWORD size) { return GetLongPathNameA(full.c_str(), out, size); });
  return longForm.empty() ? full : longForm;
}

struct FileIdentity {
  DWORD volume = 0;
  DWORD indexHigh = 0;
  DWORD indexLow = 0;
};

// The identity of the file at path; false when it cannot be opened.
bool identify(const std::string& path, FileIdentity* identity) {
  // No access is asked for: the attributes need none, and a running program
  // is open to everyone for that.
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  bool known = GetFileInformationByHandle(file, &information) != 0;
  CloseHandle(file);
  if (known)
    *identity = {information.dwVolumeSerialNumber, information.nFileIndexHigh, information.nFileIndexLow};
  return known;
}

}  // namespace

std::string programPathOf(const char* binaryPath) {
  std::string path = binaryPath;
  std::size_t first = path.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  if (path[first] == '"') {
    // What follows the closing quote are the program's arguments.
    std::size_t closing = path.find('"', first + 1);
    path = path.substr(first + 1, closing == std::string::npos ? std::string::npos : closing - first - 1);
  } else {
    path.erase(0, first);
  }
  std::size_t last = path.find_last_not_of(BLANKS_AND_QUOTES);
  path.resize(last == std::string::npos ? 0 : last + 1);
  return path;
}

bool isSameProgramFile(const char* binaryPath, const char* modulePath) {
  std::string registered = programPathOf(binaryPath);
  if (registered.empty()) return false;
  FileIdentity registeredFile, moduleFile;
  if (identify(registered, &registeredFile) && identify(modulePath, &moduleFile))
    return registeredFile.volume == moduleFile.volume && registeredFile.indexHigh == moduleFile.indexHigh &&
           registeredFile.indexLow == moduleFile.indexLow;
  return _stricmp(normalForm(registered).c_str(), normalForm(modulePath).c_str()) == 0;
}

}  // namespace zaq
