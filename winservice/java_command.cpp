#include "winservice/java_command.h"

#include <cstdio>
#include <cstring>

#include "winservice/command_quoting.h"
#include "winservice/config_files.h"

namespace zaq {

namespace {

struct KindTexts {
  const char* launcherFirst;   // taken when it exists
  const char* launcherSecond;  // taken without a check
  const char* installProperty;
  const char* mainClass;
};

constexpr KindTexts AGENT_TEXTS = {
    "\\..\\_jvm\\jre\\bin\\java.exe", "\\..\\_jvm\\bin\\java.exe",
    " -DVQM_CLIENT_INST_DIR=", " -Djava.compiler=NONE  com/qzr/vqm/client/VQMClient"};
constexpr KindTexts SERVER_TEXTS = {"\\..\\_jvm-server\\bin\\java.exe",
                                    "\\..\\_jvm-server\\jre\\bin\\java.exe",
                                    " -DVQM_SERVER_INST_DIR=", " -Xrs  com/qzr/zaq/server/BootStrap"};

bool isDroppedArgument(const char* argument) {
  return std::strcmp(argument, "-debug") == 0 || std::strcmp(argument, "-trace") == 0;
}

}  // namespace

bool fileExists(const char* dir, const char* relativePath) {
  std::string path = std::string(dir != nullptr ? dir : "") + (relativePath != nullptr ? relativePath : "");
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

void buildJavaCommandWith(JarLister lister, std::string& out, LaunchKind kind, int defaultPort,
                          const char* configFile, const char* dir, int argc, const char* const* argv,
                          ConfigNotices* notices) {
  const KindTexts& texts = kind == LAUNCH_AGENT ? AGENT_TEXTS : SERVER_TEXTS;
  std::string directory = dir != nullptr ? dir : "";
  ClassPath classPath = buildClassPathWith(lister, kind, directory);

  const char* launcher = fileExists(dir, texts.launcherFirst) ? texts.launcherFirst : texts.launcherSecond;
  // Quoted, or CreateProcess would try each blank-separated head as a program.
  out = quoteIfBlank(directory + launcher);
  out += " -classpath ";
  out += classPath.classPath;
  if (kind == LAUNCH_AGENT && !classPath.bootList.empty()) {
    out += ';';
    out += classPath.bootList;
  }
  if (configFile != nullptr && *configFile != '\0') {
    out += " -Dconfig_file=";
    out += quoteIfBlank(configFile);
  }
  out += " -Dsun.net.inetaddr.ttl=0 -Dnetworkaddress.cache.ttl=0 ";
  if (!directory.empty()) {
    out += " -DVQMHOME=";
    out += quoteIfBlank(directory);
    out += texts.installProperty;
    out += quoteIfBlank(directory);
  }
  for (int i = 1; i < argc; ++i) {
    if (argv[i] == nullptr || isDroppedArgument(argv[i])) continue;
    out += ' ';
    out += quoteIfBlank(argv[i]);
  }
  readJvmOptions(out, kind, directory.c_str(), defaultPort, &classPath.notices);
  out += texts.mainClass;
  if (notices != nullptr) *notices = classPath.notices;
}

}  // namespace zaq
