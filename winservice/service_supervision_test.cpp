#include "winservice/service_supervision.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>

#include "winservice/service_state.h"
#include "winservice/service_test_support.h"

namespace {

using zaq::hostState;

// The Java launcher stand-in of the build; it runs in the current directory.
const std::string STANDIN = zaq_test::buildPath("tests\\standin\\java.exe");

class Supervision : public ::testing::Test {
 protected:
  std::string dir = zaq_test::buildPath("winservice_supervision");
  std::string startDir;
  std::string command = STANDIN + " -classpath x Main";

  void SetUp() override {
    startDir = zaq_test::enterFreshDirectory(dir);
    hostState = zaq::ServiceHostState{};
    hostState.debugMode = 1;
    hostState.shutdownFilePath = dir + "\\shutdown";
  }
  void TearDown() override {
    SetCurrentDirectoryA(startDir.c_str());
    hostState = zaq::ServiceHostState{};
    zaq_test::removeTree(dir);
  }
  DWORD standinPid(std::size_t which) {
    std::istringstream log(zaq_test::readFile(dir + "\\standin.log"));
    std::size_t seen = 0;
    for (std::string line; std::getline(log, line);)
      if (line.rfind("start ", 0) == 0 && seen++ == which) return std::strtoul(line.c_str() + 6, nullptr, 10);
    return 0;
  }
  bool waitForStart(std::size_t which) {
    for (int i = 0; i < 200; ++i, Sleep(50))
      if (standinPid(which) != 0) return true;
    return false;
  }
};

TEST_F(Supervision, TheStopAsksTheChildToEndAndTheWatchSeesItGo) {
  zaq_test::writeFile(dir + "\\shutdown", "stale");  // an old one must not stop the new child
  zaq_test::writeFile(dir + "\\lock", "stale");
  bool started = false;
  std::thread supervisor([&] { started = zaq::startServiceApp(command.c_str()); });
  ASSERT_TRUE(waitForStart(0));
  Sleep(300);
  DWORD begin = GetTickCount();
  zaq::ServiceStop();
  EXPECT_LT(GetTickCount() - begin, 3000u);
  supervisor.join();
  EXPECT_TRUE(started);
  EXPECT_EQ(hostState.stopRequested, 1);
  EXPECT_EQ(hostState.childProcess.hThread, nullptr);
  EXPECT_EQ(hostState.childProcess.hProcess, nullptr);
  EXPECT_FALSE(zaq_test::exists(dir + "\\shutdown"));
  EXPECT_FALSE(zaq_test::exists(dir + "\\lock"));
  EXPECT_NE(zaq_test::readFile(dir + "\\standin.log").find("shutdown seen"), std::string::npos);
}

TEST_F(Supervision, AChildThatIgnoresTheStopIsKilledWith999AfterFiveSeconds) {
  zaq_test::writeFile(dir + "\\standin.mode", "ignore-shutdown\n");
  std::thread supervisor([&] { zaq::startServiceApp(command.c_str()); });
  ASSERT_TRUE(waitForStart(0));
  HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, standinPid(0));
  ASSERT_NE(child, nullptr);
  DWORD begin = GetTickCount();
  zaq::ServiceStop();
  DWORD took = GetTickCount() - begin;
  supervisor.join();
  EXPECT_GE(took, 4900u);
  EXPECT_LT(took, 7000u);
  ASSERT_EQ(WaitForSingleObject(child, 2000), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeProcess(child, &code);
  CloseHandle(child);
  EXPECT_EQ(code, zaq::KILLED_EXIT_CODE);
}

TEST_F(Supervision, AMissingLauncherIsReportedAndNotRetried) {
  EXPECT_FALSE(zaq::startServiceApp("Z:\\nowhere\\java.exe -classpath x Main"));
  EXPECT_EQ(hostState.childProcess.hThread, nullptr);
  // Without a child the stop does not wait.
  DWORD begin = GetTickCount();
  zaq::ServiceStop();
  EXPECT_LT(GetTickCount() - begin, 1000u);
}

// A child that ends just as the stop arrives: the supervision closes its
// handles while the stop is under way. Handle values freed by one thread are
// taken again at once by a churning thread that opens an unrelated process;
// a stop that used a closed value would wait on or terminate that process.
TEST_F(Supervision, AStopRacingTheChildsEndNeverUsesAClosedHandle) {
  std::string victimDir = dir + "\\victim";
  zaq_test::makeDirectories(victimDir);
  zaq_test::writeFile(victimDir + "\\standin.mode", "ignore-shutdown\n");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION victim{};
  std::string victimLine = command;
  ASSERT_TRUE(CreateProcessA(nullptr, victimLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             victimDir.c_str(), &startup, &victim));
  std::atomic<bool> churning{true};
  std::thread churn([&] {
    while (churning) {
      HANDLE handles[8];
      for (HANDLE& h : handles) h = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, victim.dwProcessId);
      for (HANDLE h : handles)
        if (h != nullptr) CloseHandle(h);
    }
  });
  zaq_test::writeFile(dir + "\\standin.mode", "exit-after 0\n");
  for (int round = 0; round < 12; ++round) {
    hostState.stopRequested = 0;
    std::thread supervisor([&] { zaq::startServiceApp(command.c_str()); });
    Sleep(static_cast<DWORD>(round * 7 % 60));
    DWORD begin = GetTickCount();
    zaq::ServiceStop();
    EXPECT_LT(GetTickCount() - begin, 4000u) << "round " << round;
    supervisor.join();
  }
  churning = false;
  churn.join();
  EXPECT_EQ(WaitForSingleObject(victim.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(victim.hProcess, 0);
  WaitForSingleObject(victim.hProcess, 5000);
  CloseHandle(victim.hProcess);
  CloseHandle(victim.hThread);
}

}  // namespace
