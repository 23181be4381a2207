// The identity of a service process under Wine, with the registry and the
// installation directories laid out as an installer would.
#include "winservice/service_identity.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "tests/support/files.h"
#include "tests/support/services_registry.h"
#include "tests/support/windows_files.h"
#include "winservice/service_state.h"

namespace {

using zaq::hostState;

std::string longForm(const std::string& path) {
  char buffer[MAX_PATH * 4];
  DWORD length = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
  std::string result = length > 0 && length < sizeof buffer ? buffer : path;
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  while (result.size() > 3 && result.back() == '\\') result.pop_back();
  return result;
}

using zaq_test::currentDirectory;

class ServiceIdentity : public ::testing::Test {
 protected:
  std::string root = zaq_test::buildPath("winservice_identity");
  std::string agentDir = root + "\\VQM\\client";
  std::string instanceDir = root + "\\VQM\\client3";
  std::string serverDir = root + "\\VQM\\server";
  std::string startDir;

  void SetUp() override {
    startDir = currentDirectory();
    deleteKeys();
    zaq_test::removeTree(root);
    for (const std::string& dir : {agentDir, instanceDir, serverDir}) zaq_test::makeDirectories(dir);
    resetState();
  }
  void TearDown() override {
    SetCurrentDirectoryA(startDir.c_str());
    deleteKeys();
    resetState();
    zaq_test::removeTree(root);
  }
  static void deleteKeys() {
    for (const char* key : {"VQM_Client3", "VQM_Client", "ZAQ Client", "VQM_Server", "VQM_Server4"})
      zaq_test::deleteServiceKey(key);
  }
  static void resetState() {
    if (hostState.debugLogFile != nullptr) std::fclose(hostState.debugLogFile);
    hostState = zaq::ServiceHostState{};
  }
};

TEST_F(ServiceIdentity, AgentInstanceFromItsOwnKey) {
  zaq_test::setWorkingDirectory("VQM_Client3", instanceDir);
  zaq_test::setWorkingDirectory("ZAQ Client", agentDir);
  zaq::setupServiceInfo((agentDir + "\\zaqservice3.exe").c_str());
  EXPECT_EQ(hostState.launchKind, zaq::LAUNCH_AGENT);
  EXPECT_EQ(hostState.defaultLogCmdPort, 1952);
  EXPECT_STREQ(hostState.instanceId, "3");
  EXPECT_EQ(hostState.serviceName, "zaqservice3");
  EXPECT_STREQ(hostState.displayName, "VQM Client - 3");
  std::string wd = hostState.workingDirectory;
  EXPECT_EQ(longForm(wd), longForm(instanceDir));
  EXPECT_EQ(wd.find(' '), std::string::npos);
  EXPECT_EQ(hostState.shutdownFilePath, wd + "\\shutdown");
  EXPECT_EQ(hostState.configFilePath, wd + "\\client.pref");
  EXPECT_EQ(longForm(currentDirectory()), longForm(instanceDir));
}

TEST_F(ServiceIdentity, AgentFallsBackToTheSharedKeyThenTheDefault) {
  zaq_test::setWorkingDirectory("ZAQ Client", agentDir);
  zaq::setupServiceInfo("zaqservice3.exe");
  EXPECT_EQ(longForm(hostState.workingDirectory), longForm(agentDir));
  EXPECT_STREQ(hostState.displayName, "VQM Client - 3");

  resetState();
  zaq_test::deleteServiceKey("ZAQ Client");
  SetCurrentDirectoryA(startDir.c_str());
  zaq::setupServiceInfo("C:\\x\\zaqservice.exe");
  EXPECT_STREQ(hostState.workingDirectory, "C:\\PROGRA~1\\QZR\\VQM\\client");
  EXPECT_STREQ(hostState.instanceId, "");
  EXPECT_STREQ(hostState.displayName, "VQM Client");
  EXPECT_EQ(hostState.configFilePath, "C:\\PROGRA~1\\QZR\\VQM\\client\\client.pref");
}

TEST_F(ServiceIdentity, ServerKeyNeverCarriesTheInstance) {
  zaq_test::setWorkingDirectory("VQM_Server", serverDir);
  zaq_test::setWorkingDirectory("VQM_Server4", agentDir);
  zaq::setupServiceInfo("C:\\VQM\\server\\vqmserver4.exe");
  EXPECT_EQ(hostState.launchKind, zaq::LAUNCH_SERVER);
  EXPECT_EQ(hostState.defaultLogCmdPort, 1953);
  EXPECT_STREQ(hostState.instanceId, "4");
  EXPECT_STREQ(hostState.displayName, "VQM Server - 4");
  EXPECT_EQ(hostState.serviceName, "vqmserver4");
  EXPECT_EQ(longForm(hostState.workingDirectory), longForm(serverDir));
  EXPECT_EQ(hostState.configFilePath, std::string(hostState.workingDirectory) + "\\server.ini");

  resetState();
  zaq_test::deleteServiceKey("VQM_Server");
  zaq::setupServiceInfo("vqmserver.exe");
  EXPECT_STREQ(hostState.workingDirectory, "C:\\PROGRA~1\\QZR\\VQM\\server");
}

TEST_F(ServiceIdentity, AFolderThatCannotBeEnteredIsKeptWithItsError) {
  zaq_test::writeFile(root + "\\a file", "");
  zaq_test::writeFile(root + "\\debugservice", "");  // the start folder's marker is not the working one's
  SetCurrentDirectoryA(root.c_str());
  struct Case {
    std::string value;
    DWORD error;
  } cases[] = {
      {root + "\\not there", ERROR_FILE_NOT_FOUND},
      {root + "\\not there\\client", ERROR_PATH_NOT_FOUND},
      {root + "\\a file", ERROR_DIRECTORY},
      {root + "\\" + std::string(300, 'd'), 0},  // too long: some error
      {agentDir, NO_ERROR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    resetState();
    SetCurrentDirectoryA(root.c_str());
    zaq_test::setWorkingDirectory("VQM_Client", c.value);
    zaq::setupServiceInfo("zaqservice.exe");
    if (c.value != agentDir) {
      EXPECT_EQ(longForm(hostState.workingDirectory), longForm(c.value));  // a file has a short form
      EXPECT_EQ(longForm(currentDirectory()), longForm(root));
      EXPECT_NE(hostState.workingDirectoryError, 0u);
      if (c.error != 0) {
        EXPECT_EQ(hostState.workingDirectoryError, c.error);
      }
      EXPECT_EQ(hostState.debugLogFile, nullptr);
    } else {
      EXPECT_EQ(longForm(currentDirectory()), longForm(agentDir));
      EXPECT_EQ(hostState.workingDirectoryError, 0u);
    }
  }
}

TEST_F(ServiceIdentity, AnEmptyValueCountsAsNone) {
  zaq_test::setWorkingDirectory("VQM_Client3", "");
  zaq_test::setWorkingDirectory("ZAQ Client", agentDir);
  zaq::setupServiceInfo("zaqservice3.exe");
  EXPECT_EQ(longForm(hostState.workingDirectory), longForm(agentDir));
  EXPECT_EQ(hostState.workingDirectoryError, 0u);

  resetState();
  zaq_test::setWorkingDirectory("ZAQ Client", "");
  zaq::setupServiceInfo("zaqservice3.exe");
  EXPECT_STREQ(hostState.workingDirectory, "C:\\PROGRA~1\\QZR\\VQM\\client");
}

TEST_F(ServiceIdentity, MissingDirectoryKeepsTheTextAndTheCurrentDirectory) {
  std::string missing = root + "\\not there\\client\\";
  zaq_test::setWorkingDirectory("VQM_Client", missing);
  std::string before = currentDirectory();
  zaq::setupServiceInfo("zaqservice.exe");
  EXPECT_EQ(hostState.workingDirectory, missing);
  EXPECT_EQ(currentDirectory(), before);
  EXPECT_EQ(hostState.workingDirectoryError, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  // A value ending in "\" doubles the separator; nothing is trimmed.
  EXPECT_EQ(hostState.shutdownFilePath, missing + "\\shutdown");
  EXPECT_EQ(hostState.configFilePath, missing + "\\client.pref");
}

TEST_F(ServiceIdentity, LongValuesAndNamesAreCutAtTheirLimits) {
  // A value longer than the buffer cannot be read: the default applies.
  zaq_test::setWorkingDirectory("ZAQ Client", std::string(3000, 'w'));
  std::string name = "C:\\d\\zaqservice" + std::string(300, '5') + ".exe";
  zaq::setupServiceInfo(name.c_str());
  EXPECT_STREQ(hostState.workingDirectory, "C:\\PROGRA~1\\QZR\\VQM\\client");
  EXPECT_EQ(std::string(hostState.instanceId), std::string(127, '5'));
  EXPECT_EQ(std::string(hostState.displayName), "VQM Client - " + std::string(127, '5'));
  EXPECT_EQ(hostState.serviceName, "zaqservice" + std::string(300, '5'));
}

}  // namespace
