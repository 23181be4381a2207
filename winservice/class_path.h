// Class-path assembly from the jar files present in the installation's
// directories, by the agent's or the server's recipe. The directory listing is
// passed in, so the recipes are the same over the system's search and in tests.
#pragma once

#include <string>

#include "winservice/config_files.h"
#include "winservice/launch_kind.h"

namespace zaq {

// A ";"-separated class-path fragment; entries are prefix + file name.
using JarList = std::string;

// Lists the names matching pattern into out (cleared when anything matches),
// each behind prefix (null or "": bare names), leaving out the name exclude.
using JarLister = void (*)(JarList& out, const std::string& pattern, const char* prefix, const char* exclude);

// Adds one listed name to a group unless it is exclude (compared exactly). The
// separator goes between entries only, and an entry with a blank is quoted.
void addJarEntry(JarList& group, const char* prefix, const char* name, const char* exclude);

struct ClassPath {
  std::string classPath;
  JarList bootList;       // agent only; the command line puts it after the class path
  ConfigNotices notices;  // what server.ini's reader left out
};

// Runs the recipe of kind over dir (the working directory, no trailing "\"),
// JDBC driver entries of dir\server.ini included for the server.
ClassPath buildClassPathWith(JarLister lister, LaunchKind kind, const std::string& dir);

}  // namespace zaq
