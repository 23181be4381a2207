// An application that ends by itself is started again after the 30-second
// pause, without limit; the service host's memory, read while it supervises,
// does not grow across the restarts. The words of the run that died first
// move on through the earlier runs' files. The one long scenario: about two
// minutes.
#include <windows.h>

#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "e2e_support.h"

namespace e2e {
namespace {

struct MemoryFigures {
  SIZE_T peakWorkingSet = 0;
  SIZE_T workingSet = 0;
  SIZE_T privateBytes = 0;
};

MemoryFigures memoryOf(DWORD processId) {
  MemoryFigures figures;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process == nullptr) return figures;
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
    figures.peakWorkingSet = counters.PeakWorkingSetSize;
    figures.workingSet = counters.WorkingSetSize;
    figures.privateBytes = counters.PrivateUsage;
  }
  CloseHandle(process);
  return figures;
}

void printFigures(const char* when, const MemoryFigures& figures, const UnixFigures& unix,
                  const UnixFigures& idle) {
  std::printf(
      "zaqservice memory %s: peak working set %.1f KiB, working set %.1f KiB, private bytes %.1f KiB "
      "(as Wine reports them); Unix process: peak resident %ld KiB, resident %ld KiB, private resident "
      "%ld KiB; an idle Wine program with the same imports: resident %ld KiB, private resident %ld KiB\n",
      when, figures.peakWorkingSet / 1024.0, figures.workingSet / 1024.0, figures.privateBytes / 1024.0,
      unix.peakResident, unix.resident, unix.privateResident, idle.resident, idle.privateResident);
  std::fflush(stdout);
}

// The idle peer, started for one measurement.
UnixFigures idleFigures() {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION peer{};
  std::string line = "idle_peer";
  if (!CreateProcessA(IDLE_PEER_EXE, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &peer))
    return {};
  Sleep(1000);
  UnixFigures figures = unixFiguresOf("idle_peer");
  TerminateProcess(peer.hProcess, 0);
  WaitForSingleObject(peer.hProcess, 5000);
  CloseHandle(peer.hProcess);
  CloseHandle(peer.hThread);
  return figures;
}

TEST(SupervisionEndToEnd, RestartsAnApplicationThatEndsAfterThePauseAndStaysSmall) {
  const std::string reason = "java.lang.OutOfMemoryError: Java heap space\r\n";
  Installation installation =
      layOut("13", withStandinMode("die-once " + reason.substr(0, reason.size() - 2) + "\nexit-after 2\n"));
  ASSERT_EQ(operatorCommand(installation, "-install").exitCode, 0u);
  ASSERT_TRUE(startService(installation.serviceName));
  std::string standinLog = installation.workingDir + "\\standin.log";
  ASSERT_TRUE(waitForText(standinLog, "start ", 1, 20000));
  DWORD previous = GetTickCount();
  DWORD serviceProcess = serviceProcessId(installation.serviceName);
  ASSERT_NE(serviceProcess, 0u);

  // Three restarts, each after about 2 s of running (the first run dies at
  // once) and the 30-second pause. The figures are first taken once a restart
  // has happened: Wine maps some of the host's pages in only after its first
  // child (sooner or later depending on the session's display), which is no
  // growth of ours.
  UnixFigures idle{};
  MemoryFigures first{};
  UnixFigures firstUnix{};
  for (std::size_t starts = 2; starts <= 4; ++starts) {
    ASSERT_TRUE(waitForText(standinLog, "start ", starts, 45000)) << "start " << starts;
    DWORD now = GetTickCount();
    EXPECT_GE(now - previous, starts == 2 ? 29500u : 31000u) << "start " << starts;
    EXPECT_LT(now - previous, 40000u) << "start " << starts;
    previous = now;
    if (starts == 2) {
      Sleep(1000);
      EXPECT_EQ(readFile(installation.workingDir + "\\javaconsole.1.log"), reason);
      idle = idleFigures();
      first = memoryOf(serviceProcess);
      firstUnix = unixFiguresOf(installation.program);
      printFigures("after the first restart", first, firstUnix, idle);
    }
  }
  Sleep(1000);
  MemoryFigures later = memoryOf(serviceProcess);
  UnixFigures laterUnix = unixFiguresOf(installation.program);
  printFigures("after two more restarts", later, laterUnix, idle);
  ASSERT_GT(firstUnix.privateResident, 0);
  EXPECT_LE(laterUnix.privateResident, firstUnix.privateResident + 256);
  EXPECT_LE(later.peakWorkingSet, first.peakWorkingSet + 256 * 1024);

  EXPECT_EQ(readFile(installation.workingDir + "\\javaconsole.3.log"), reason);
  std::string log = readText(messageLogPath(installation.serviceName));
  EXPECT_EQ(countOf(log, "Process started for "), 4u);
  EXPECT_GE(countOf(log, " process has stopped."), 3u);
  EXPECT_EQ(countOf(log, "has started."), 1u);
  EXPECT_EQ(stopService(installation.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
  tearDown(installation);
}

}  // namespace
}  // namespace e2e
