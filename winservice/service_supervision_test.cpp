#include "winservice/service_supervision.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/own_process.h"
#include "tests/support/windows_files.h"
#include "winservice/child_output.h"
#include "winservice/child_output_linger.h"
#include "winservice/java_command.h"
#include "winservice/service_state.h"
#include "winservice/service_stop.h"

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
    zaq::resetStopRequests();
    hostState.debugMode = 1;
    hostState.shutdownFilePath = dir + "\\shutdown";
  }
  void TearDown() override {
    SetCurrentDirectoryA(startDir.c_str());
    hostState = zaq::ServiceHostState{};
    zaq::resetStopRequests();
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
  // Runs startServiceApp on a thread of its own and waits up to timeoutMs for
  // it; a watch still running then has its stand-in ended, so that the test
  // can go on, and counts as not finished.
  bool superviseWithin(DWORD timeoutMs, bool* started) {
    std::atomic<bool> done{false};
    std::thread supervisor([&] {
      *started = zaq::startServiceApp(command.c_str());
      done = true;
    });
    for (DWORD waited = 0; !done && waited < timeoutMs; waited += 50) Sleep(50);
    bool finished = done;
    for (std::size_t which = 0; !done && standinPid(which) != 0; ++which) {
      HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, standinPid(which));
      if (child != nullptr) TerminateProcess(child, 1);
      if (child != nullptr) CloseHandle(child);
    }
    supervisor.join();
    return finished;
  }
};

// The stop only asks and returns; the supervision sees the application go
// and clears up after it. The application did not end by itself, so the debug
// log does not send the operator to its output.
TEST_F(Supervision, TheStopAsksTheChildToEndAndTheWatchSeesItGo) {
  zaq_test::writeFile(dir + "\\shutdown", "stale");  // an old one must not stop the new child
  zaq_test::writeFile(dir + "\\lock", "stale");
  std::string logPath = dir + "\\service.log";
  hostState.debugLogFile = std::fopen(logPath.c_str(), "ab");
  ASSERT_NE(hostState.debugLogFile, nullptr);
  DWORD exitCode = 1;
  std::thread supervisor([&] { exitCode = zaq::ServiceStart(0, nullptr, "", command.c_str()); });
  ASSERT_TRUE(waitForStart(0));
  Sleep(300);
  DWORD begin = GetTickCount();
  zaq::ServiceStop();
  EXPECT_LT(GetTickCount() - begin, 1000u);
  supervisor.join();
  EXPECT_LT(GetTickCount() - begin, 3000u);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_TRUE(zaq::stopRequested());
  EXPECT_EQ(hostState.childProcess.hThread, nullptr);
  EXPECT_EQ(hostState.childProcess.hProcess, nullptr);
  EXPECT_FALSE(zaq_test::exists(dir + "\\shutdown"));
  EXPECT_FALSE(zaq_test::exists(dir + "\\lock"));
  EXPECT_EQ(standinPid(1), 0u);
  EXPECT_NE(zaq_test::readFile(dir + "\\standin.log").find("shutdown seen"), std::string::npos);
  std::fclose(hostState.debugLogFile);
  hostState.debugLogFile = nullptr;
  std::string log = zaq_test::readFile(logPath);
  EXPECT_NE(log.find("Application exited with exit code 0"), std::string::npos) << log;
  EXPECT_EQ(log.find("Application ended"), std::string::npos) << log;
}

TEST_F(Supervision, AChildThatIgnoresTheStopIsKilledWith999AfterFiveSeconds) {
  zaq_test::writeFile(dir + "\\standin.mode", "ignore-shutdown\n");
  std::thread supervisor([&] { zaq::startServiceApp(command.c_str()); });
  ASSERT_TRUE(waitForStart(0));
  HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, standinPid(0));
  ASSERT_NE(child, nullptr);
  DWORD begin = GetTickCount();
  zaq::ServiceStop();
  EXPECT_LT(GetTickCount() - begin, 1000u);
  supervisor.join();
  DWORD took = GetTickCount() - begin;
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

// The one message of a start that cannot be made keeps its end, with the
// error that says why, however long the command line.
TEST_F(Supervision, ACommandLineOverTheWindowsLimitIsReportedWithItsError) {
  struct Case {
    std::size_t length;
    const char* ending;
  } cases[] = {
      {40000, "...' failed. Error code 206\n"},
      {zaq::COMMAND_LINE_LIMIT + 1, "...' failed. Error code 206\n"},
      {zaq::COMMAND_LINE_LIMIT, "...' failed. Error code 2\n"},  // taken; the launcher is not there
  };
  for (const Case& c : cases) {
    std::string line = "Z:\\nowhere\\java.exe -classpath x Main ";
    line += std::string(c.length - line.size(), 'c');
    testing::internal::CaptureStdout();
    EXPECT_FALSE(zaq::startServiceApp(line.c_str()));
    std::fflush(stdout);
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(
        printed.rfind("Windows CreateProcess for command 'Z:\\nowhere\\java.exe -classpath x Main cc", 0),
        0u);
    ASSERT_GT(printed.size(), std::strlen(c.ending));
    EXPECT_EQ(printed.substr(printed.size() - std::strlen(c.ending)), c.ending) << c.length;
  }
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
    zaq::resetStopRequests();
    std::thread supervisor([&] { zaq::startServiceApp(command.c_str()); });
    Sleep(static_cast<DWORD>(round * 7 % 60));
    DWORD begin = GetTickCount();
    zaq::ServiceStop();
    supervisor.join();
    EXPECT_LT(GetTickCount() - begin, 4000u) << "round " << round;
  }
  churning = false;
  churn.join();
  EXPECT_EQ(WaitForSingleObject(victim.hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(victim.hProcess, 0);
  WaitForSingleObject(victim.hProcess, 5000);
  CloseHandle(victim.hProcess);
  CloseHandle(victim.hThread);
}

// The supervision passes its loop test and a stop is asked for before the
// child is created: the application must not start.
TEST_F(Supervision, AStopBeforeTheChildIsCreatedStartsNoChild) {
  zaq::ServiceStop();
  bool started = true;
  ASSERT_TRUE(superviseWithin(3000, &started)) << "the application ran on after the stop";
  EXPECT_FALSE(started);
  EXPECT_EQ(standinPid(0), 0u);
  EXPECT_EQ(hostState.childProcess.hThread, nullptr);
}

// The application ends on its own: it announces it with a shutdown file and
// exits within the five seconds, or stays and is killed with 999, or exits
// with an error, or crashes. None of these is a stop: the supervision will
// start it again. The debug log tells each by its exit code.
TEST_F(Supervision, AnApplicationThatEndsOnItsOwnIsWatchedToItsEnd) {
  struct Case {
    const char* mode;
    std::vector<const char*> lines;  // in this order
    const char* absent;
    DWORD exitCode;  // 0: not checked
    DWORD minMs, maxMs;
  } cases[] = {
      {"announce-shutdown 1\n",
       {"Application initiated shutdown detected, waiting five seconds for exit",
        "Application exited by itself", "Application exited with exit code 0\n",
        " ms after its start: what it printed is in javaconsole.log\n"},
       "killing",
       0,
       3500,
       8000},
      {"announce-shutdown 1\nignore-shutdown\n",
       {"Application initiated shutdown detected, waiting five seconds for exit",
        "Application did not exit in time allotted, killing it", "Sending application termination signal",
        "Application terminated\n", "Application was killed with exit code 999\n"},
       "Application exited by itself",
       zaq::KILLED_EXIT_CODE,
       6000,
       12000},
      // A JVM that cannot start ends at once with 1; the stand-in says 3.
      {"exit-after 0\n",
       {"Application started", "Application exited with exit code 3\n",
        " ms after its start: what it printed is in javaconsole.log\n"},
       "shutdown",
       3,
       0,
       3000},
      {"crash\n",
       {"Application started", "Application exited with exit code 3221225477\n"},  // an access violation
       "shutdown detected",
       0,
       0,
       5000},
  };
  hostState.debugMode = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    zaq_test::enterFreshDirectory(dir);
    zaq_test::writeFile(dir + "\\standin.mode", c.mode);
    std::string logPath = dir + "\\service.log";
    hostState.debugLogFile = std::fopen(logPath.c_str(), "ab");  // lines end in "\n" as written
    ASSERT_NE(hostState.debugLogFile, nullptr);
    HANDLE child = nullptr;
    std::thread opener([&] {
      if (waitForStart(0)) child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, standinPid(0));
    });
    DWORD begin = GetTickCount();
    bool started = false;
    bool finished = superviseWithin(15000, &started);
    DWORD took = GetTickCount() - begin;
    opener.join();
    std::fclose(hostState.debugLogFile);
    hostState.debugLogFile = nullptr;
    EXPECT_TRUE(finished);
    EXPECT_TRUE(started);
    EXPECT_FALSE(zaq::stopRequested());
    EXPECT_GE(took, c.minMs);
    EXPECT_LE(took, c.maxMs);
    std::string log = zaq_test::readFile(logPath);
    std::size_t at = 0;
    for (const char* line : c.lines) {
      at = log.find(line, at);
      ASSERT_NE(at, std::string::npos) << line << "\n" << log;
    }
    EXPECT_EQ(log.find(c.absent), std::string::npos) << log;
    if (child != nullptr) {
      DWORD code = 0;
      EXPECT_EQ(WaitForSingleObject(child, 2000), WAIT_OBJECT_0);
      GetExitCodeProcess(child, &code);
      if (c.exitCode != 0) {
        EXPECT_EQ(code, c.exitCode);
      }
      CloseHandle(child);
    } else {
      EXPECT_EQ(c.exitCode, 0u) << "the stand-in could not be opened";
    }
  }
}

using zaq_test::handleCount;
using zaq_test::threadCount;
using zaq_test::threadsBackTo;

// Runs of an application that prints, leaves a process of its own that holds
// its output and prints on, and ends at once: each run ends promptly, and the
// processes left behind never fail a write while the host runs. One thread
// reads for all of them, however many runs leave one, and the host's handles
// are back once they have ended. The child inherits its two pipe ends and
// nothing else of the host.
TEST_F(Supervision, RunsThatLeaveAProcessPrintingBehindEndAtOnceAndItsWritesNeverFail) {
  hostState.debugMode = 0;
  std::string logPath = dir + "\\service.log";
  hostState.debugLogFile = std::fopen(logPath.c_str(), "ab");
  ASSERT_NE(hostState.debugLogFile, nullptr);
  const std::string readOn = "bytes after the application ended";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE sentinelRead = nullptr;
  HANDLE sentinelWrite = nullptr;  // inheritable, as a handle of the host may be
  ASSERT_TRUE(CreatePipe(&sentinelRead, &sentinelWrite, &inherit, 0));
  zaq_test::writeFile(dir + "\\standin.mode", "spawn-heir\nexit-after 2\n");
  std::thread first([&] { zaq::startServiceApp(command.c_str()); });
  ASSERT_TRUE(waitForStart(0));
  CloseHandle(sentinelWrite);
  DWORD waiting = 0;
  EXPECT_FALSE(PeekNamedPipe(sentinelRead, nullptr, 0, nullptr, &waiting, nullptr)) << "the child holds it";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  CloseHandle(sentinelRead);
  first.join();
  // Its heir prints on, and then ends: the host has made what it reads with.
  Sleep(500);
  zaq_test::writeFile(dir + "\\heir.stop", "");
  ASSERT_TRUE(zaq_test::waitForOccurrences(logPath, readOn, 1, 5000)) << zaq_test::readFile(logPath);
  DeleteFileA((dir + "\\heir.stop").c_str());

  DWORD threads = threadCount();
  DWORD handles = handleCount();
  // No SCOPED_TRACE here: its first use on a thread starts a watcher thread of
  // GoogleTest's, which would count as the host's.
  constexpr int RUNS = 20;
  for (int run = 1; run <= RUNS; ++run) {
    zaq_test::writeFile(dir + "\\standin.mode",
                        "print-out run " + std::to_string(run) + "\nspawn-heir\nexit-after 0\n");
    DWORD begin = GetTickCount();
    EXPECT_TRUE(zaq::startServiceApp(command.c_str())) << "run " << run;
    EXPECT_LT(GetTickCount() - begin, 3000u) << "run " << run;
  }
  // A run that started while the host's reader still watched the last run's
  // pipe has a reader of its own for a moment.
  EXPECT_TRUE(threadsBackTo(threads)) << threadCount() << " threads, " << threads << " before";
  Sleep(500);
  zaq_test::writeFile(dir + "\\heir.stop", "");
  EXPECT_TRUE(zaq_test::waitForOccurrences(logPath, readOn, 1 + RUNS, 10000)) << zaq_test::readFile(logPath);
  for (int i = 0; i < 20 && handleCount() != handles; ++i) Sleep(100);
  EXPECT_EQ(handleCount(), handles);
  std::string standinLog = zaq_test::readFile(dir + "\\standin.log");
  EXPECT_EQ(zaq_test::occurrences(standinLog, "heir "), 1u + RUNS);
  EXPECT_EQ(standinLog.find("heir write failed"), std::string::npos) << standinLog;
  std::string kept = zaq_test::readFile(dir + "\\javaconsole.log");
  EXPECT_EQ(kept.rfind("run 20\r\n", 0), 0u) << kept;
  EXPECT_EQ(kept.find("run 19"), std::string::npos) << kept;
  std::fclose(hostState.debugLogFile);
  hostState.debugLogFile = nullptr;
}

// The reader's writer of the next test: it holds the first thread that
// writes, as a write to a file on a stuck share would, until released, and
// keeps what each thread handed it.
struct StuckWriter {
  std::mutex guard;
  DWORD heldThread = 0;
  HANDLE released = nullptr;
  std::map<DWORD, std::string> written;
};
StuckWriter stuck;

BOOL WINAPI writeOrStick(HANDLE, LPCVOID data, DWORD length, LPDWORD written, LPOVERLAPPED) {
  DWORD self = GetCurrentThreadId();
  bool hold = false;
  {
    std::lock_guard<std::mutex> lock(stuck.guard);
    if (stuck.heldThread == 0) stuck.heldThread = self;
    hold = stuck.heldThread == self;
    stuck.written[self].append(static_cast<const char*>(data), length);
  }
  if (hold) WaitForSingleObject(stuck.released, INFINITE);
  *written = length;
  return TRUE;
}

// The host's reader is still held by the last run's file when the next run
// starts: that run gets a reader of its own, which takes its output (to the
// debug command's copy and to its own file: the held one has moved on) and
// ends with it, and the run ends at once. Once the file lets go, the host is
// back to the threads and handles it had.
TEST_F(Supervision, ARunWhileTheReaderIsHeldHasAReaderOfItsOwnThatEndsWithIt) {
  zaq_test::writeFile(dir + "\\standin.mode", "exit-after 0\n");
  ASSERT_TRUE(zaq::startServiceApp(command.c_str()));  // the host's reader, made by the first run
  // The reader of what processes left behind hold, made before counting: a
  // very slow end of the child under Wine may look like one.
  HANDLE brokenRead = nullptr;
  HANDLE brokenWrite = nullptr;
  ASSERT_TRUE(CreatePipe(&brokenRead, &brokenWrite, nullptr, 0));
  CloseHandle(brokenWrite);
  zaq::keepReadingAfterEnd(brokenRead, 0);
  Sleep(1500);  // and both back to waiting
  // Open until the test ends: a held thread may still wait on it.
  stuck.released = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(stuck.released, nullptr);
  DWORD threads = threadCount();
  DWORD handles = handleCount();
  zaq::setChildOutputWriter(writeOrStick);

  zaq_test::writeFile(dir + "\\standin.mode", "print-out run 1\nexit-after 0\n");
  DWORD begin = GetTickCount();
  EXPECT_TRUE(zaq::startServiceApp(command.c_str()));
  EXPECT_LT(GetTickCount() - begin, 3000u);
  EXPECT_TRUE(threadsBackTo(threads)) << "the held run has a thread of its own";

  zaq_test::writeFile(dir + "\\standin.mode", "print-out run 2\nexit-after 0\n");
  std::atomic<bool> done{false};
  begin = GetTickCount();
  std::thread supervisor([&] {
    zaq::startServiceApp(command.c_str());
    done = true;
  });
  while (!done && GetTickCount() - begin < 5000) Sleep(20);
  DWORD took = GetTickCount() - begin;
  bool ended = done;
  if (ended) supervisor.join();
  bool extraThreadEnded = ended && threadsBackTo(threads);
  std::string runTwo;
  DWORD heldThread = 0;
  {
    std::lock_guard<std::mutex> lock(stuck.guard);
    heldThread = stuck.heldThread;
    for (const auto& [thread, written] : stuck.written)
      if (thread != heldThread) runTwo += written;
  }
  SetEvent(stuck.released);
  if (!ended) supervisor.join();
  EXPECT_TRUE(ended) << "the second run waited for the held reader";
  EXPECT_LT(took, 3000u);
  EXPECT_EQ(runTwo, "run 2\r\nrun 2\r\n");
  EXPECT_TRUE(extraThreadEnded) << threadCount() << " threads, " << threads << " before";

  // The held run ends once its writes return, and its handles go with it (a
  // count of the handles takes a while under Wine).
  for (int i = 0; i < 10 && handleCount() != handles; ++i) Sleep(200);
  zaq::setChildOutputWriter(nullptr);
  EXPECT_EQ(threadCount(), threads);
  EXPECT_EQ(handleCount(), handles);
  std::lock_guard<std::mutex> lock(stuck.guard);
  EXPECT_EQ(stuck.written[heldThread].substr(0, 7), "run 1\r\n");
}

}  // namespace
