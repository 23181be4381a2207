// Whether a service's registered binary path names this program's file,
// however it is spelt.
#pragma once

#include <string>

namespace zaq {

// The program path of a binary path: the text inside its leading double
// quotes, else the text without the blanks and quotes around it.
std::string programPathOf(const char* binaryPath);

// True when binaryPath names the file modulePath names. Spellings do not
// matter (letter case, 8.3 and long names, "." and "..", quotes and blanks
// around it): two files that can be opened are the same when their volume and
// file index are; otherwise their full long paths are compared in any case.
bool isSameProgramFile(const char* binaryPath, const char* modulePath);

}  // namespace zaq
