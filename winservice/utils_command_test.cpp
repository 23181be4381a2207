// The Java command line over real installation directories under Wine. Names
// come back in the file system's order, so expectations list them the same way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"
#include "winservice/utils.h"

namespace {

using zaq_test::writeFile;

// The names matching pattern, in the order the file system returns them.
std::vector<std::string> listed(const std::string& pattern) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return names;
  do names.push_back(entry.cFileName);
  while (FindNextFileA(search, &entry));
  FindClose(search);
  return names;
}

// The group text of prefix + each listed name, leaving out exclude.
std::string group(const std::string& pattern, const std::string& prefix, const std::string& exclude = "") {
  std::string text;
  for (const std::string& name : listed(pattern)) {
    if (name == exclude) continue;
    if (!text.empty()) text += ';';
    text += prefix + name;
  }
  return text;
}

std::string javaCommand(zaq::LaunchKind kind, const std::string& dir, const std::string& configFile,
                        std::vector<const char*> args = {"zaqservice.exe"}) {
  std::string out;
  zaq::buildJavaCommand(out, kind, zaq::defaultLogCmdPort(kind), configFile.c_str(), dir.c_str(),
                        static_cast<int>(args.size()), args.data());
  return out;
}

class JavaCommandOnDisk : public ::testing::Test {
 protected:
  std::string root = zaq_test::buildPath("winservice_install");
  std::string client = root + "\\client";
  std::string server = root + "\\server";
  void SetUp() override {
    zaq_test::removeTree(root);
    for (const char* dir : {"\\client", "\\server", "\\jars", "\\_jvm\\bin", "\\_jvm-server\\bin"})
      zaq_test::makeDirectories(root + dir);
  }
  void TearDown() override { zaq_test::removeTree(root); }
};

TEST_F(JavaCommandOnDisk, WorkedExampleOfTheAgent) {
  writeFile(root + "\\jars\\client.jar", "");
  writeFile(root + "\\jars\\common.jar", "");
  writeFile(root + "\\_jvm\\bin\\java.exe", "");
  writeFile(client + "\\client.pref", "jvm.heap.max=256m\r\n");
  std::string expected =
      client + "\\..\\_jvm\\bin\\java.exe -classpath ..\\jars\\client.jar;" +
      group(client + "\\..\\jars\\*.jar", "..\\jars\\") + ";" + client +
      "\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar -Dconfig_file=" + client +
      "\\client.pref -Dsun.net.inetaddr.ttl=0 -Dnetworkaddress.cache.ttl=0  -DVQMHOME=" + client +
      " -DVQM_CLIENT_INST_DIR=" + client +
      " -Xmx256m -Dtrova.logCmdPort=1952  -Djava.compiler=NONE  com/qzr/vqm/client/VQMClient";
  EXPECT_EQ(javaCommand(zaq::LAUNCH_AGENT, client, client + "\\client.pref"), expected);
}

TEST_F(JavaCommandOnDisk, LauncherCandidates) {
  EXPECT_EQ(javaCommand(zaq::LAUNCH_AGENT, client, "").rfind(client + "\\..\\_jvm\\bin\\java.exe ", 0), 0u);
  zaq_test::makeDirectories(root + "\\_jvm\\jre\\bin");
  writeFile(root + "\\_jvm\\jre\\bin\\java.exe", "");
  EXPECT_EQ(javaCommand(zaq::LAUNCH_AGENT, client, "").rfind(client + "\\..\\_jvm\\jre\\bin\\java.exe ", 0),
            0u);
  // Server: bin first; without it the jre launcher is named unchecked.
  EXPECT_EQ(
      javaCommand(zaq::LAUNCH_SERVER, server, "").rfind(server + "\\..\\_jvm-server\\jre\\bin\\java.exe ", 0),
      0u);
  writeFile(root + "\\_jvm-server\\bin\\java.exe", "");
  EXPECT_EQ(
      javaCommand(zaq::LAUNCH_SERVER, server, "").rfind(server + "\\..\\_jvm-server\\bin\\java.exe ", 0), 0u);
}

TEST_F(JavaCommandOnDisk, ServerRecipeWithModulesAndDriver) {
  for (const char* jar : {"server.jar", "util.jar", "client.jar"}) writeFile(root + "\\jars\\" + jar, "");
  zaq::ClassPath plain = zaq::buildClassPath(zaq::LAUNCH_SERVER, server);
  EXPECT_EQ(plain.classPath,
            "..\\jars\\server.jar;" + group(server + "\\..\\jars\\*.jar", "..\\jars\\", "client.jar"));
  EXPECT_EQ(plain.classPath.find("client.jar"), std::string::npos);

  zaq_test::makeDirectories(root + "\\jars\\modules");
  writeFile(root + "\\jars\\modules\\client.jar", "");
  writeFile(root + "\\jars\\modules\\mod.jar", "");
  writeFile(server + "\\server.ini", "# database\r\ndb.jdbc_jar=C:\\Program Files\\drv\\driver.zip\r\n");
  zaq::ClassPath full = zaq::buildClassPath(zaq::LAUNCH_SERVER, server);
  EXPECT_EQ(full.classPath, plain.classPath +
                                ";..\\jars\\modules\\mod.jar;\"C:\\Program Files\\drv\\driver.zip\";"
                                "\"C:\\Program Files\\drv\\rx9jcc.jar\"");
  EXPECT_TRUE(full.bootList.empty());
}

TEST_F(JavaCommandOnDisk, AgentRecipeOverEveryGroup) {
  for (const char* dir : {"\\client\\client", "\\client\\ZAQClient", "\\jars\\boot"})
    zaq_test::makeDirectories(root + dir);
  writeFile(root + "\\jars\\client.jar", "");
  writeFile(client + "\\client\\agent.jar", "");
  writeFile(client + "\\local.jar", "");
  writeFile(client + "\\ZAQClient\\zaq.jar", "");
  writeFile(root + "\\jars\\boot\\boot.jar", "");
  zaq::ClassPath path = zaq::buildClassPath(zaq::LAUNCH_AGENT, client);
  EXPECT_EQ(path.classPath,
            "..\\jars\\client.jar;..\\jars\\client.jar;..\\client\\agent.jar;local.jar;"
            "..\\ZAQClient\\zaq.jar;" +
                client + "\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar");
  EXPECT_EQ(path.bootList, "..\\jars\\boot\\boot.jar");
  std::string command = javaCommand(zaq::LAUNCH_AGENT, client, "");
  EXPECT_NE(command.find("swt.jar;..\\jars\\boot\\boot.jar -Dsun.net"), std::string::npos) << command;
}

TEST_F(JavaCommandOnDisk, InstallationPathWithBlanksIsQuoted) {
  std::string spaced = root + "\\VQM Agent\\client";
  zaq_test::makeDirectories(spaced);
  writeFile(spaced + "\\client.pref", "jvm.heap.init=32m\n");
  std::string command =
      javaCommand(zaq::LAUNCH_AGENT, spaced, spaced + "\\client.pref", {"x.exe", "-Da=b c"});
  std::string expected =
      "\"" + spaced + "\\..\\_jvm\\bin\\java.exe\" -classpath ;;\"" + spaced +
      "\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar\" -Dconfig_file=\"" + spaced +
      "\\client.pref\" -Dsun.net.inetaddr.ttl=0 -Dnetworkaddress.cache.ttl=0  -DVQMHOME=\"" + spaced +
      "\" -DVQM_CLIENT_INST_DIR=\"" + spaced +
      "\" \"-Da=b c\" -Xms32m -Dtrova.logCmdPort=1952  -Djava.compiler=NONE  "
      "com/qzr/vqm/client/VQMClient";
  EXPECT_EQ(command, expected);
}

}  // namespace
