#include <string>

#include "winservice/java_command.h"
#include "winservice/message_table.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_messages.h"
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
  ConfigNotices notices;
  buildJavaCommandWith(listJarFiles, out, kind, defaultPort, configFile, dir, argc, argv, &notices);
  for (const ConfigNotice& notice : notices) {
    std::string line = notice.key.empty() ? "Cannot read " + notice.file + "; its options are left out"
                                          : "Option " + notice.key + " in " + notice.file +
                                                " left out: its value has an unmatched quote";
    debugLog(line.c_str());
    if (notice.key.empty())
      emitMessage(MSG_LOGGED_ERROR, "buildJavaCommand", MSG_PROPERTIES_FILE_UNREADABLE, notice.file.c_str());
    else
      emitMessage(MSG_LOGGED_ERROR, "buildJavaCommand", MSG_OPTION_UNMATCHED_QUOTE, notice.key.c_str(),
                  notice.file.c_str());
  }
  // CreateProcess refuses a longer command; said here, where it is made, and
  // by message 19 with the error of each start.
  if (out.size() > COMMAND_LINE_LIMIT) {
    std::string line = "Java command is " + std::to_string(out.size()) + " characters long, over the " +
                       std::to_string(COMMAND_LINE_LIMIT) + " Windows takes";
    debugLog(line.c_str());
  }
}

}  // namespace zaq
