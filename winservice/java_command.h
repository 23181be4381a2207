// The Java command line of the service: the installation's launcher, the class
// path, fixed system properties, pass-through arguments, the JVM options of the
// configuration property file and the main class. Built once at start-up.
#pragma once

#include <cstddef>
#include <string>

#include "winservice/class_path.h"
#include "winservice/config_files.h"
#include "winservice/launch_kind.h"

namespace zaq {

// True when dir followed by relativePath can be opened for reading.
bool fileExists(const char* dir, const char* relativePath);

// The longest command line CreateProcess takes, in characters.
constexpr std::size_t COMMAND_LINE_LIMIT = 32766;

// Overwrites out with the command line. configFile may be null or empty; dir is
// the working directory without trailing "\" (may be empty). Pieces that hold
// a blank are quoted; without blanks the text is exactly the classic one.
// notices (may be null) receives what the property files' readers left out.
void buildJavaCommandWith(JarLister lister, std::string& out, LaunchKind kind, int defaultPort,
                          const char* configFile, const char* dir, int argc, const char* const* argv,
                          ConfigNotices* notices = nullptr);

}  // namespace zaq
