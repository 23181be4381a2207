// The command line and class-path recipes over a scripted directory listing, so
// the order in which names come back is fixed. Runs natively: the worked
// example reads its client.pref from a file named with backslashes, which only a
// POSIX file system takes (the Wine tests cover the same over real directories).
#include "winservice/java_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

std::map<std::string, std::vector<std::string>> listing;

// Plays the directory search: the names scripted for a pattern, in order.
void scriptedLister(zaq::JarList& out, const std::string& pattern, const char* prefix, const char* exclude) {
  auto found = listing.find(pattern);
  if (found == listing.end() || found->second.empty()) return;
  out.clear();
  for (const std::string& name : found->second) zaq::addJarEntry(out, prefix, name.c_str(), exclude);
}

constexpr char DIR[] = "C:\\PROGRA~1\\QZR\\VQM\\client";

// A configuration file at dir + "\" + name, removed again by the destructor.
struct ConfigFile {
  std::string path;
  ConfigFile(const std::string& dir, const char* name, const char* content) : path(dir + "\\" + name) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    EXPECT_NE(f, nullptr) << path;
    if (f == nullptr) return;
    std::fputs(content, f);
    std::fclose(f);
  }
  ~ConfigFile() { std::remove(path.c_str()); }
};

std::string command(zaq::LaunchKind kind, const char* dir, const char* configFile,
                    std::vector<const char*> args = {"zaqservice.exe"}) {
  std::string out = "previous text";
  zaq::buildJavaCommandWith(scriptedLister, out, kind, zaq::defaultLogCmdPort(kind), configFile, dir,
                            static_cast<int>(args.size()), args.data());
  return out;
}

class JavaCommand : public ::testing::Test {
 protected:
  void SetUp() override { listing.clear(); }
};

TEST_F(JavaCommand, WorkedExampleOfTheAgentByteForByte) {
  listing[std::string(DIR) + "\\..\\jars\\client*.jar"] = {"client.jar"};
  listing[std::string(DIR) + "\\..\\jars\\*.jar"] = {"client.jar", "common.jar"};
  ConfigFile pref(DIR, "client.pref", "jvm.heap.max=256m\n");
  std::string expected =
      "C:\\PROGRA~1\\QZR\\VQM\\client\\..\\_jvm\\bin\\java.exe"
      " -classpath ..\\jars\\client.jar;..\\jars\\client.jar;..\\jars\\common.jar;"
      "C:\\PROGRA~1\\QZR\\VQM\\client\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar"
      " -Dconfig_file=C:\\PROGRA~1\\QZR\\VQM\\client\\client.pref"
      " -Dsun.net.inetaddr.ttl=0 -Dnetworkaddress.cache.ttl=0 "
      " -DVQMHOME=C:\\PROGRA~1\\QZR\\VQM\\client -DVQM_CLIENT_INST_DIR=C:\\PROGRA~1\\QZR\\VQM\\client"
      " -Xmx256m"
      " -Dtrova.logCmdPort=1952 "
      " -Djava.compiler=NONE "
      " com/qzr/vqm/client/VQMClient";
  EXPECT_EQ(command(zaq::LAUNCH_AGENT, DIR, "C:\\PROGRA~1\\QZR\\VQM\\client\\client.pref"), expected);
}

TEST_F(JavaCommand, ServerEndingAndLauncher) {
  const char* dir = "C:\\SRV";
  std::string out = command(zaq::LAUNCH_SERVER, dir, "C:\\SRV\\server.ini");
  EXPECT_EQ(out.rfind("C:\\SRV\\..\\_jvm-server\\jre\\bin\\java.exe -classpath ;", 0), 0u) << out;
  std::string ending =
      " -DVQMHOME=C:\\SRV -DVQM_SERVER_INST_DIR=C:\\SRV -Dtrova.logCmdPort=1953  -Xrs  "
      "com/qzr/zaq/server/BootStrap";
  ASSERT_GE(out.size(), ending.size());
  EXPECT_EQ(out.substr(out.size() - ending.size()), ending);
}

TEST_F(JavaCommand, PassThroughArgumentsGoBeforeTheOptions) {
  struct Case {
    std::vector<const char*> args;
    std::string expectedTail;
  } cases[] = {
      {{"zaqservice.exe", "-debug", "-trace"}, "=C:\\D -Dtrova.logCmdPort=1952  -Djava.compiler"},
      {{"zaqservice.exe", "-debug", "-Dx=1"}, "=C:\\D -Dx=1 -Dtrova.logCmdPort=1952  -Djava.compiler"},
      {{"zaqservice.exe", "-Trace", "/debug"},
       "=C:\\D -Trace /debug -Dtrova.logCmdPort=1952  -Djava.compiler"},
      {{"zaqservice.exe", "-Dy=a b"}, "=C:\\D \"-Dy=a b\" -Dtrova.logCmdPort=1952  -Djava.compiler"},
  };
  for (const Case& c : cases) {
    std::string out = command(zaq::LAUNCH_AGENT, "C:\\D", nullptr, c.args);
    EXPECT_NE(out.find(c.expectedTail), std::string::npos) << out;
  }
}

TEST_F(JavaCommand, EmptyConfigFileAndEmptyDirectory) {
  std::string out = command(zaq::LAUNCH_AGENT, "", "");
  EXPECT_EQ(out.rfind("\\..\\_jvm\\bin\\java.exe -classpath ", 0), 0u) << out;
  EXPECT_EQ(out.find("-Dconfig_file"), std::string::npos);
  EXPECT_EQ(out.find("-DVQMHOME"), std::string::npos);
  EXPECT_EQ(out.find("INST_DIR"), std::string::npos);
  EXPECT_NE(out.find(";\\scripts\\com.qzr"), std::string::npos);
}

TEST_F(JavaCommand, ConfiguredPortLeavesASingleBlankBeforeTheMainClass) {
  ConfigFile pref(DIR, "client.pref", "trova.port=5000\n");
  std::string out = command(zaq::LAUNCH_AGENT, DIR, nullptr);
  std::string ending = " -Dtrova.logCmdPort=5000 -Djava.compiler=NONE  com/qzr/vqm/client/VQMClient";
  EXPECT_EQ(out.substr(out.size() - ending.size()), ending) << out;
}

TEST_F(JavaCommand, PiecesWithBlanksAreQuoted) {
  const char* dir = "C:\\Program Files\\QZR\\VQM\\client";
  listing[std::string(dir) + "\\..\\jars\\client*.jar"] = {"client.jar"};
  listing[std::string(dir) + "\\..\\jars\\*.jar"] = {"client.jar", "my lib.jar"};
  listing[std::string(dir) + "\\..\\jars\\boot\\*.jar"] = {"boot.jar"};
  std::string out = command(zaq::LAUNCH_AGENT, dir, "C:\\Program Files\\QZR\\VQM\\client\\client.pref");
  std::string expected =
      "\"C:\\Program Files\\QZR\\VQM\\client\\..\\_jvm\\bin\\java.exe\""
      " -classpath ..\\jars\\client.jar;..\\jars\\client.jar;\"..\\jars\\my lib.jar\";"
      "\"C:\\Program Files\\QZR\\VQM\\client\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar\""
      ";..\\jars\\boot\\boot.jar"
      " -Dconfig_file=\"C:\\Program Files\\QZR\\VQM\\client\\client.pref\""
      " -Dsun.net.inetaddr.ttl=0 -Dnetworkaddress.cache.ttl=0 "
      " -DVQMHOME=\"C:\\Program Files\\QZR\\VQM\\client\""
      " -DVQM_CLIENT_INST_DIR=\"C:\\Program Files\\QZR\\VQM\\client\""
      " -Dtrova.logCmdPort=1952  -Djava.compiler=NONE  com/qzr/vqm/client/VQMClient";
  EXPECT_EQ(out, expected);
}

TEST_F(JavaCommand, ManyJarsDoNotOverflow) {
  std::vector<std::string>& all = listing["C:\\D\\..\\jars\\*.jar"];
  for (int i = 0; i < 3000; ++i) all.push_back("library-with-a-long-name-" + std::to_string(i) + ".jar");
  std::string out = command(zaq::LAUNCH_SERVER, "C:\\D", nullptr);
  EXPECT_NE(out.find("..\\jars\\library-with-a-long-name-2999.jar"), std::string::npos);
  EXPECT_GT(out.size(), 32767u);
}

TEST_F(JavaCommand, ServerRecipe) {
  listing["C:\\S\\..\\jars\\server*.jar"] = {"server.jar"};
  listing["C:\\S\\..\\jars\\*.jar"] = {"server.jar", "util.jar", "client.jar", "Client.jar"};
  EXPECT_EQ(zaq::buildClassPathWith(scriptedLister, zaq::LAUNCH_SERVER, "C:\\S").classPath,
            "..\\jars\\server.jar;..\\jars\\server.jar;..\\jars\\util.jar;..\\jars\\Client.jar");
  listing["C:\\S\\..\\jars\\modules\\*.jar"] = {"client.jar", "m.jar"};
  listing["C:\\S\\..\\jars\\server*.jar"] = {};
  listing["C:\\S\\..\\jars\\*.jar"] = {"client.jar", "util.jar"};
  // The excluded name first must not leave an empty entry in its group.
  EXPECT_EQ(zaq::buildClassPathWith(scriptedLister, zaq::LAUNCH_SERVER, "C:\\S").classPath,
            ";..\\jars\\util.jar;..\\jars\\modules\\m.jar");
}

TEST_F(JavaCommand, AgentRecipeOrderOfGroups) {
  listing["C:\\A\\..\\jars\\client*.jar"] = {"client.jar"};
  listing["C:\\A\\..\\jars\\*.jar"] = {"client.jar", "x.jar"};
  listing["C:\\A\\client\\*.jar"] = {"l.jar"};
  listing["C:\\A\\*.jar"] = {"w.jar"};
  listing["C:\\A\\ZAQClient\\*.jar"] = {"z.jar"};
  listing["C:\\A\\..\\jars\\boot\\*.jar"] = {"b1.jar", "b2.jar"};
  zaq::ClassPath path = zaq::buildClassPathWith(scriptedLister, zaq::LAUNCH_AGENT, "C:\\A");
  EXPECT_EQ(path.classPath,
            "..\\jars\\client.jar;..\\jars\\client.jar;..\\jars\\x.jar;..\\client\\l.jar;w.jar;"
            "..\\ZAQClient\\z.jar;C:\\A\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar");
  EXPECT_EQ(path.bootList, "..\\jars\\boot\\b1.jar;..\\jars\\boot\\b2.jar");
}

}  // namespace
