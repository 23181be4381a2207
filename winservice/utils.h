// Platform helpers of the launch configuration: registry strings, the directory
// search over one shared find record, the jar lister and the Java command line
// over the real file system, and the message lookup wrapper.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "winservice/class_path.h"
#include "winservice/launch_kind.h"
#include "zel/catalogs.h"

namespace zaq {

// Reads one REG_SZ or REG_EXPAND_SZ value (unexpanded) into buffer, always
// terminated. size: buffer size in, bytes stored out. 0 on success, 1 on failure.
int readRegistryString(char* buffer, DWORD* size, HKEY rootKey, const char* subKey, const char* valueName);

// FindFirstFileA/FindNextFileA into the one shared find record; the caller
// closes the search with FindClose. One search at a time in the process.
HANDLE findFirstMatch(const char* pattern);
int findNextMatch(HANDLE handle);
// The current match's name (from its last backslash on, if one follows the
// first character); valid until the next search call.
const char* currentMatchName();

// Lists the names matching pattern (see JarLister) through the shared record.
void listJarFiles(JarList& out, const std::string& pattern, const char* prefix, const char* exclude);

ClassPath buildClassPath(LaunchKind kind, const std::string& dir);

void buildJavaCommand(std::string& out, LaunchKind kind, int defaultPort, const char* configFile,
                      const char* dir, int argc, const char* const* argv);

// The catalog's text of message msgId in set setId, or defaultText (handle 0:
// no catalog was opened; -1: the open failed).
const char* getCatalogMessage(zel::CatalogHandle catalogHandle, int setId, int msgId,
                              const char* defaultText);

}  // namespace zaq
