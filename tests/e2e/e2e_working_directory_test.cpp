// A "WorkingDirectory" that cannot be entered, or an empty one, as a careless
// installer leaves it: the host names the folder and the Windows error, and
// ends without touching the folder it was started in.
#include <gtest/gtest.h>

#include "e2e_support.h"
#include "tests/support/services_registry.h"
#include "tests/support/windows_files.h"

namespace e2e {
namespace {

// The default folder an empty value falls back to; it does not exist here.
const char DEFAULT_DIRECTORY[] = "C:\\PROGRA~1\\QZR\\VQM\\client";

struct Unusable {
  const char* name;
  std::string value;   // written to "WorkingDirectory"
  std::string folder;  // named in the message
  DWORD error;
};

class UnusableWorkingDirectory : public ::testing::Test {
 protected:
  void SetUp() override {
    installation = layOut("26");
    startDir = installation.root + "\\start";
    zaq_test::makeDirectories(startDir);
    writeFile(installation.root + "\\afile", "");
    cases = {
        {"missing", installation.root + "\\gone", installation.root + "\\gone", ERROR_FILE_NOT_FOUND},
        {"a file", installation.root + "\\afile", installation.root + "\\afile", ERROR_DIRECTORY},
        {"empty", "", DEFAULT_DIRECTORY, ERROR_PATH_NOT_FOUND},
    };
  }
  void TearDown() override {
    tearDown(installation);
    for (const std::string& file : systemFiles) DeleteFileA(file.c_str());
  }
  // "lock" and "shutdown" in folder, as an application left them there.
  void plantFiles(const std::string& folder) {
    for (const char* name : {"\\lock", "\\shutdown"}) writeFile(folder + name, "planted");
  }
  void expectPlantedFiles(const std::string& folder) {
    for (const char* name : {"\\lock", "\\shutdown"})
      EXPECT_EQ(readFile(folder + name), "planted") << folder + name;
  }
  std::string message(const Unusable& c) const {
    return "The working directory " + c.folder + " cannot be entered. Error code " + std::to_string(c.error) +
           "\n";
  }

  Installation installation;
  std::string startDir;
  std::vector<Unusable> cases;
  std::vector<std::string> systemFiles;
};

// Run from another folder, beside which a Java launcher lies
// (start\..\_jvm\bin\java.exe): the debug command starts nothing there.
TEST_F(UnusableWorkingDirectory, TheDebugCommandEndsWithTheError) {
  plantFiles(startDir);
  for (const Unusable& c : cases) {
    SCOPED_TRACE(c.name);
    zaq_test::setWorkingDirectory("VQM_Client26", c.value);
    DeleteFileA(messageLogPath(installation.serviceName).c_str());
    ConsoleRun run = runConsole(installation.program, installation.serviceName + " -debug", startDir, 20000);
    EXPECT_EQ(run.exitCode, c.error);
    EXPECT_EQ(run.out, message(c));
    expectPlantedFiles(startDir);
    EXPECT_FALSE(zaq_test::exists(startDir + "\\standin.log"));
    EXPECT_FALSE(zaq_test::exists(startDir + "\\service.log"));
    std::string log = readText(messageLogPath(installation.serviceName));
    EXPECT_NE(log.find(", CmdDebugService, " + message(c)), std::string::npos) << log;
  }
}

// Started by the Service Control Manager in the system folder: the service
// stops at once with the error as its exit code.
TEST_F(UnusableWorkingDirectory, TheServiceStopsWithTheErrorAsItsExitCode) {
  char systemDir[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(systemDir, sizeof systemDir), 0u);
  systemFiles = {std::string(systemDir) + "\\lock", std::string(systemDir) + "\\shutdown"};
  plantFiles(systemDir);
  ConsoleRun install = operatorCommand(installation, "-install");
  ASSERT_EQ(install.exitCode, 0u) << install.out;
  for (const Unusable& c : {cases[0], cases[2]}) {
    SCOPED_TRACE(c.name);
    zaq_test::setWorkingDirectory("VQM_Client26", c.value);
    DeleteFileA(messageLogPath(installation.serviceName).c_str());
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service =
        OpenServiceA(manager, installation.serviceName.c_str(), SERVICE_START | SERVICE_QUERY_STATUS);
    ASSERT_NE(service, nullptr);
    StartServiceA(service, 0, nullptr);  // it may have stopped before the call returns
    SERVICE_STATUS status{};
    for (DWORD waited = 0; waited < 20000; waited += 50) {
      if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED) break;
      Sleep(50);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, c.error);
    std::string log = messageLogPath(installation.serviceName);
    EXPECT_TRUE(waitForText(log, ", ServiceStart, " + message(c), 1, 10000)) << readText(log);
    EXPECT_EQ(readText(log).find("has started."), std::string::npos);
    expectPlantedFiles(systemDir);
    EXPECT_FALSE(zaq_test::exists(std::string(systemDir) + "\\standin.log"));
  }
}

}  // namespace
}  // namespace e2e
