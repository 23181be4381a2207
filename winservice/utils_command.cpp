#include "winservice/java_command.h"
#include "winservice/utils.h"

namespace zaq {

namespace {
const char* matchName() {
  const char* name = currentMatchName();
  return *name == '\\' ? name + 1 : name;
}
}  // namespace

void listJarFiles(JarList& out, const std::string& pattern, const char* prefix, const char* exclude) {
  HANDLE search = findFirstMatch(pattern.c_str());
  if (search == INVALID_HANDLE_VALUE) return;
  out.clear();
  addJarEntry(out, prefix, matchName(), exclude);
  while (findNextMatch(search)) addJarEntry(out, prefix, matchName(), exclude);
  FindClose(search);
}

ClassPath buildClassPath(LaunchKind kind, const std::string& dir) {
  return buildClassPathWith(listJarFiles, kind, dir);
}

void buildJavaCommand(std::string& out, LaunchKind kind, int defaultPort, const char* configFile,
                      const char* dir, int argc, const char* const* argv) {
  buildJavaCommandWith(listJarFiles, out, kind, defaultPort, configFile, dir, argc, argv);
}

}  // namespace zaq
