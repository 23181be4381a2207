#include "winservice/service_main.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"
#include "winservice/service_state.h"
#include "winservice/service_status.h"
#include "winservice/service_stop.h"
#include "winservice/service_supervision.h"

namespace {

using zaq::hostState;

const std::string STANDIN = zaq_test::buildPath("tests\\standin\\java.exe");

// Every status report, as the manager would get it, and the thread that made it.
struct Report {
  DWORD state;
  DWORD checkPoint;
  DWORD exitCode;
  DWORD thread;
};
std::mutex reportsGuard;
std::vector<Report> reports;

BOOL WINAPI recordStatus(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
  std::lock_guard<std::mutex> lock(reportsGuard);
  reports.push_back(
      {status->dwCurrentState, status->dwCheckPoint, status->dwWin32ExitCode, GetCurrentThreadId()});
  return TRUE;
}

// The seam's stop: sent once, at one step, from a thread of its own as the
// control handler would send it. At once: the supervision goes on when the
// request has returned; delayed: while the supervision goes on.
struct StopPlan {
  zaq::SupervisionStep step;
  DWORD delayMs;
};
StopPlan plan;
std::atomic<bool> stopSent{false};
DWORD requesterThread = 0;
std::thread delayedRequester;

void sendStop() {
  requesterThread = GetCurrentThreadId();
  zaq::ServiceStop();
}

void stopAtPlannedStep(zaq::SupervisionStep step) {
  if (step != plan.step || stopSent.exchange(true)) return;
  if (plan.delayMs == 0) {
    std::thread(sendStop).join();
  } else {
    delayedRequester = std::thread([] {
      Sleep(plan.delayMs);
      sendStop();
    });
  }
}

class StopAtEachStep : public ::testing::Test {
 protected:
  std::string dir = zaq_test::buildPath("winservice_stop_steps");
  std::string startDir;
  std::string logPath = dir + "\\service.log";

  void SetUp() override {
    startDir = zaq_test::enterFreshDirectory(dir);
    zaq::setStatusSender(recordStatus);
    zaq::setSupervisionSeam(stopAtPlannedStep);
  }
  void TearDown() override {
    zaq::setSupervisionSeam(nullptr);
    zaq::setStatusSender(nullptr);
    if (hostState.debugLogFile != nullptr) std::fclose(hostState.debugLogFile);
    SetCurrentDirectoryA(startDir.c_str());
    hostState = zaq::ServiceHostState{};
    zaq::resetStopRequests();
    zaq_test::removeTree(dir);
  }
  // A service about to start, with a status handle whose reports are recorded.
  void prepare(const std::string& launcher, const char* mode) {
    if (hostState.debugLogFile != nullptr) std::fclose(hostState.debugLogFile);
    zaq_test::enterFreshDirectory(dir);
    hostState = zaq::ServiceHostState{};
    zaq::resetStopRequests();
    hostState.statusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(static_cast<ULONG_PTR>(1));
    hostState.shutdownFilePath = dir + "\\shutdown";
    hostState.javaCommand = launcher + " -classpath x Main";
    zaq_test::writeFile(dir + "\\standin.mode", mode);
    hostState.debugLogFile = std::fopen(logPath.c_str(), "ab");  // lines end in "\n" as written
    std::lock_guard<std::mutex> lock(reportsGuard);
    reports.clear();
    stopSent = false;
  }
  std::vector<DWORD> standinPids() {
    std::vector<DWORD> pids;
    std::istringstream log(zaq_test::readFile(dir + "\\standin.log"));
    for (std::string line; std::getline(log, line);)
      if (line.rfind("start ", 0) == 0) pids.push_back(std::strtoul(line.c_str() + 6, nullptr, 10));
    return pids;
  }
};

bool processEnded(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return true;
  bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

std::size_t countOf(const std::string& text, const std::string& token) {
  std::size_t count = 0;
  for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + 1)) ++count;
  return count;
}

// A stop that reaches the service at any step of its supervision is carried
// out by the service thread alone: the application, when there is one, is
// asked to end and ends, none is started after the stop, the files are gone,
// and SERVICE_STOPPED, reported once and last by the service thread after the
// requester's SERVICE_STOP_PENDING, carries the error of a failed start.
TEST_F(StopAtEachStep, TheServiceThreadCarriesOutAStopThatComesAtAnyStep) {
  struct Case {
    const char* name;
    StopPlan plan;
    bool launcher;        // false: no launcher where the command says
    const char* mode;     // the stand-in's
    std::size_t starts;   // stand-ins started
    DWORD exitCode;       // of the final report
    DWORD maxMs;          // from the start to the final report
    DWORD minCheckPoint;  // the stop's last STOP_PENDING check point at least
    const char* line;     // in the debug log
  } cases[] = {
      {"before the creation",
       {zaq::STEP_BEFORE_CREATION, 0},
       true,
       "",
       0,
       0,
       3000,
       1,
       "] Stop requested before the application was started\n"},
      {"between creation and resume",
       {zaq::STEP_CREATED, 0},
       true,
       "",
       1,
       0,
       4000,
       1,
       "] Application exited with exit code 0\n"},
      {"while the reader drains",
       {zaq::STEP_OUTPUT_DRAINING, 0},
       true,
       "print-bytes 3000000\nexit-after 0\n",
       1,
       0,
       6000,
       1,
       "] Application exited with exit code 3\n"},
      {"after the child's end",
       {zaq::STEP_CHILD_ENDED, 0},
       true,
       "exit-after 0\n",
       1,
       0,
       4000,
       1,
       "] Application exited with exit code 3\n"},
      {"during the restart pause",
       {zaq::STEP_RESTART_PAUSE, 300},
       true,
       "exit-after 0\n",
       1,
       0,
       5000,
       1,
       "] Sleeping 30 seconds before application restart\n"},
      {"after a failed start",
       {zaq::STEP_START_FAILED, 0},
       false,
       "",
       0,
       ERROR_FILE_NOT_FOUND,
       3000,
       1,
       "] Application exited, and stop requested\n"},
      // The stop's grace, reported once a second, and the kill.
      {"to an application that ignores it",
       {zaq::STEP_CREATED, 0},
       true,
       "ignore-shutdown\n",
       1,
       0,
       9000,
       5,
       "] Stop timer exceeded, killing application.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plan = c.plan;
    prepare(c.launcher ? STANDIN : "Z:\\nowhere\\java.exe", c.mode);
    DWORD serviceThread = 0;
    std::atomic<bool> done{false};
    DWORD begin = GetTickCount();
    std::thread service([&] {
      serviceThread = GetCurrentThreadId();
      zaq::runService(0, nullptr);
      done = true;
    });
    while (!done && GetTickCount() - begin < 20000) Sleep(20);
    DWORD took = GetTickCount() - begin;
    bool ended = done;
    std::vector<DWORD> pids = standinPids();
    if (!ended) zaq::ServiceStop();  // a supervision the stop missed: one more try, so that it ends
    service.join();
    if (delayedRequester.joinable()) delayedRequester.join();
    EXPECT_TRUE(ended) << "the service did not end";
    EXPECT_TRUE(stopSent);
    EXPECT_LE(took, c.maxMs);
    EXPECT_EQ(pids.size(), c.starts);
    for (DWORD pid : pids) EXPECT_TRUE(processEnded(pid)) << "stand-in " << pid << " runs on";
    EXPECT_FALSE(zaq_test::exists(dir + "\\shutdown"));
    EXPECT_FALSE(zaq_test::exists(dir + "\\lock"));

    std::vector<Report> seen;
    {
      std::lock_guard<std::mutex> lock(reportsGuard);
      seen = reports;
    }
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen[0].state, static_cast<DWORD>(SERVICE_START_PENDING));
    const Report& last = seen.back();
    EXPECT_EQ(last.state, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(last.exitCode, c.exitCode);
    EXPECT_EQ(last.thread, serviceThread);
    std::size_t stopped = 0, firstStopPending = seen.size();
    DWORD checkPoint = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
      if (seen[i].state == SERVICE_STOPPED) ++stopped;
      if (seen[i].state != SERVICE_STOP_PENDING) continue;
      if (firstStopPending == seen.size()) firstStopPending = i;
      EXPECT_EQ(seen[i].checkPoint, checkPoint + 1) << "report " << i;
      checkPoint = seen[i].checkPoint;
      // The requester announces the stop; the service thread reports its progress.
      EXPECT_EQ(seen[i].thread, i == firstStopPending ? requesterThread : serviceThread) << "report " << i;
    }
    EXPECT_EQ(stopped, 1u);
    ASSERT_LT(firstStopPending, seen.size()) << "no SERVICE_STOP_PENDING";
    EXPECT_GE(checkPoint, c.minCheckPoint);
    for (std::size_t i = firstStopPending; i < seen.size(); ++i)
      EXPECT_NE(seen[i].state, static_cast<DWORD>(SERVICE_RUNNING)) << "report " << i;

    std::fflush(hostState.debugLogFile);
    std::string log = zaq_test::readFile(logPath);
    EXPECT_NE(log.find(c.line), std::string::npos) << log;
    std::size_t stoppedAt = log.find("] Application is stopped.\n");
    EXPECT_NE(stoppedAt, std::string::npos) << log;
    EXPECT_LT(stoppedAt, log.find("] STATE TRANSITION -> SERVICE_STOPPED\n")) << log;
    EXPECT_EQ(countOf(log, "] Creating shutdown file.\n"), 1u) << log;
    EXPECT_EQ(countOf(log, "] STATE TRANSITION -> SERVICE_STOPPED\n"), 1u) << log;
  }
}

}  // namespace
