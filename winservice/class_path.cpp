#include "winservice/class_path.h"

#include <cstring>

#include "winservice/command_quoting.h"
#include "winservice/config_files.h"

namespace zaq {

namespace {

constexpr char SWT_JAR[] = "\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar";

JarList listGroup(JarLister lister, const std::string& pattern, const char* prefix, const char* exclude) {
  JarList group;
  lister(group, pattern, prefix, exclude);
  return group;
}

// Optional groups add nothing, not even a separator, when empty.
void appendOptional(std::string& classPath, const JarList& group) {
  if (group.empty()) return;
  classPath += ';';
  classPath += group;
}

ClassPath serverClassPath(JarLister lister, const std::string& dir) {
  JarList server = listGroup(lister, dir + "\\..\\jars\\server*.jar", "..\\jars\\", nullptr);
  JarList all = listGroup(lister, dir + "\\..\\jars\\*.jar", "..\\jars\\", "client.jar");
  JarList modules =
      listGroup(lister, dir + "\\..\\jars\\modules\\*.jar", "..\\jars\\modules\\", "client.jar");
  ClassPath result;
  result.classPath = server + ";" + all;
  appendOptional(result.classPath, modules);
  appendJdbcJars(result.classPath, dir.c_str(), &result.notices);
  return result;
}

ClassPath agentClassPath(JarLister lister, const std::string& dir) {
  JarList client = listGroup(lister, dir + "\\..\\jars\\client*.jar", "..\\jars\\", nullptr);
  JarList all = listGroup(lister, dir + "\\..\\jars\\*.jar", "..\\jars\\", nullptr);
  JarList agentClient = listGroup(lister, dir + "\\client\\*.jar", "..\\client\\", nullptr);
  JarList workingDir = listGroup(lister, dir + "\\*.jar", "", nullptr);
  JarList zaqClient = listGroup(lister, dir + "\\ZAQClient\\*.jar", "..\\ZAQClient\\", nullptr);
  ClassPath result;
  result.classPath = client + ";" + all;
  appendOptional(result.classPath, agentClient);
  appendOptional(result.classPath, workingDir);
  appendOptional(result.classPath, zaqClient);
  result.classPath += ';';
  result.classPath += quoteIfBlank(dir + SWT_JAR);
  result.bootList = listGroup(lister, dir + "\\..\\jars\\boot\\*.jar", "..\\jars\\boot\\", nullptr);
  return result;
}

}  // namespace

void addJarEntry(JarList& group, const char* prefix, const char* name, const char* exclude) {
  if (exclude != nullptr && std::strcmp(name, exclude) == 0) return;
  std::string entry = prefix != nullptr ? prefix : "";
  entry += name;
  if (!group.empty()) group += ';';
  group += quoteIfBlank(entry);
}

ClassPath buildClassPathWith(JarLister lister, LaunchKind kind, const std::string& dir) {
  return kind == LAUNCH_AGENT ? agentClassPath(lister, dir) : serverClassPath(lister, dir);
}

}  // namespace zaq
