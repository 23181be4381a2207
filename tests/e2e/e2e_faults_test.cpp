// One supervised application, never zero and never two, under the faults an
// unattended service meets: a stop at any moment after the start, a host that
// is killed, a service started in the system folder, and an application that
// ends on its own.
#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e_support.h"
#include "zel/catalog_test_support.h"

namespace e2e {
namespace {

bool processRunning(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return false;
  bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return running;
}

class ServiceFaults : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const Installation* laidOut : {&installation, &debugInstallation})
      if (!laidOut->serviceName.empty()) tearDown(*laidOut);
    for (HANDLE process : spawned) {
      TerminateProcess(process, 1);
      CloseHandle(process);
    }
  }
  void install(const Installation& target) {
    ConsoleRun run = operatorCommand(target, "-install");
    ASSERT_EQ(run.exitCode, 0u) << run.out << run.err;
  }
  std::string standinLog() const { return installation.workingDir + "\\standin.log"; }

  Installation installation;
  Installation debugInstallation;
  std::vector<HANDLE> spawned;  // what the stand-ins started, ended at the end
};

// The service's status, read as fast as the SCM answers.
struct Status {
  DWORD state = 0;
  DWORD processId = 0;
};

Status queryStatus(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                            &needed))
    return {};
  return {status.dwCurrentState, status.dwProcessId};
}

Status waitForStatus(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
  DWORD begin = GetTickCount();
  Status status = queryStatus(service);
  while (status.state != state && GetTickCount() - begin < timeoutMs) {
    Sleep(1);
    status = queryStatus(service);
  }
  return status;
}

// A stop that reaches the service while the supervision is between its loop
// test and the child's creation must still end with no application running.
TEST_F(ServiceFaults, AStopAtAnyMomentAfterTheStartLeavesNoApplicationRunning) {
  installation = layOut("21");
  install(installation);
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr) << GetLastError();
  SC_HANDLE service = OpenServiceA(manager, installation.serviceName.c_str(),
                                   SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
  ASSERT_NE(service, nullptr) << GetLastError();
  std::size_t examined = 0;
  for (int round = 0; round < 3; ++round) {
    for (DWORD delayMs : {0u, 5u, 15u, 30u}) {
      SCOPED_TRACE("round " + std::to_string(round) + ", stop " + std::to_string(delayMs) +
                   " ms after running");
      ASSERT_TRUE(StartServiceA(service, 0, nullptr)) << GetLastError();
      Status running = waitForStatus(service, SERVICE_RUNNING, 20000);
      ASSERT_EQ(running.state, static_cast<DWORD>(SERVICE_RUNNING));
      HANDLE host = OpenProcess(SYNCHRONIZE, FALSE, running.processId);
      ASSERT_NE(host, nullptr);
      Sleep(delayMs);
      SERVICE_STATUS stopStatus;
      EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &stopStatus)) << GetLastError();
      EXPECT_EQ(waitForStatus(service, SERVICE_STOPPED, 20000).state, static_cast<DWORD>(SERVICE_STOPPED));
      // Time for a stand-in created at the last moment to show in its log,
      // well before the host would end it by ending itself.
      Sleep(1000);
      std::vector<StandinStart> starts = standinStarts(installation);
      for (; examined < starts.size(); ++examined)
        EXPECT_FALSE(processRunning(starts[examined].pid))
            << "stand-in " << starts[examined].pid << " runs after SERVICE_STOPPED";
      EXPECT_EQ(WaitForSingleObject(host, 10000), WAIT_OBJECT_0);
      CloseHandle(host);
    }
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

// Killed as from Task Manager, as a service and in the debug command, the
// host takes its application with it.
TEST_F(ServiceFaults, TheApplicationDoesNotOutliveAKilledHost) {
  installation = layOut("22");
  install(installation);
  ASSERT_TRUE(startService(installation.serviceName));
  ASSERT_TRUE(waitForText(standinLog(), "start ", 1, 20000));
  debugInstallation = layOut("23");
  RunningConsole debug = startConsole(debugInstallation.program, debugInstallation.serviceName + " -debug",
                                      debugInstallation.workingDir);
  ASSERT_NE(debug.process.hProcess, nullptr);
  ASSERT_TRUE(waitForText(debugInstallation.workingDir + "\\standin.log", "start ", 1, 20000));

  struct Host {
    const char* life;
    DWORD processId;
    DWORD standinId;
  } hosts[] = {
      {"service", serviceProcessId(installation.serviceName), standinStarts(installation)[0].pid},
      {"debug", debug.process.dwProcessId, standinStarts(debugInstallation)[0].pid},
  };
  for (const Host& host : hosts) {
    SCOPED_TRACE(host.life);
    HANDLE standin = OpenProcess(SYNCHRONIZE, FALSE, host.standinId);
    ASSERT_NE(standin, nullptr);
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, host.processId);
    ASSERT_NE(process, nullptr) << GetLastError();
    ASSERT_TRUE(TerminateProcess(process, 1)) << GetLastError();
    CloseHandle(process);
    EXPECT_EQ(WaitForSingleObject(standin, 2000), WAIT_OBJECT_0);
    CloseHandle(standin);
  }
  finish(debug, 5000);
}

// The ids of the stand-in's "spawned <pid>" lines, in order.
std::vector<DWORD> spawnedIds(const std::string& standinLog) {
  std::vector<DWORD> ids;
  std::string log = readText(standinLog);
  for (std::size_t at = log.find("spawned "); at != std::string::npos; at = log.find("spawned ", at + 1))
    ids.push_back(std::strtoul(log.c_str() + at + 8, nullptr, 10));
  return ids;
}

// Only the application is in the job that ends it with the host: what it
// starts (an updater that stops the service, replaces files and starts it
// again) lives on after an ordinary stop and after the host is killed, as it
// would without the job, while the application ends with the host.
TEST_F(ServiceFaults, WhatTheApplicationStartsOutlivesTheStopAndTheHost) {
  installation = layOut("26", withStandinMode("spawn-child\n"));
  install(installation);
  for (bool killHost : {false, true}) {
    SCOPED_TRACE(killHost ? "host killed" : "ordinary stop");
    ASSERT_TRUE(startService(installation.serviceName));
    ASSERT_TRUE(waitForText(standinLog(), "spawned ", spawned.size() + 1, 20000)) << readText(standinLog());
    HANDLE started = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, spawnedIds(standinLog()).back());
    ASSERT_NE(started, nullptr);
    spawned.push_back(started);
    HANDLE standin = OpenProcess(SYNCHRONIZE, FALSE, standinStarts(installation).back().pid);
    ASSERT_NE(standin, nullptr);
    HANDLE host =
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, serviceProcessId(installation.serviceName));
    ASSERT_NE(host, nullptr) << GetLastError();
    if (killHost)
      EXPECT_TRUE(TerminateProcess(host, 1)) << GetLastError();
    else
      EXPECT_EQ(stopService(installation.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
    // The host's end closes the job: the application is gone by then.
    EXPECT_EQ(WaitForSingleObject(host, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(standin, 2000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(started, 2000), static_cast<DWORD>(WAIT_TIMEOUT))
        << "what the application started ended with the " << (killHost ? "host" : "stop");
    CloseHandle(standin);
    CloseHandle(host);
  }
}

// The Service Control Manager starts the program in the system folder; the
// translation it uses is the catalog of its working directory.
TEST_F(ServiceFaults, TheServiceUsesTheCatalogOfItsWorkingDirectory) {
  installation = layOut("24");
  writeFile(installation.workingDir + "\\winServCMessages.cat",
            zeltest::buildCatalog({{2, {{7, "%s is up, says the catalog.\n"}}}}));
  install(installation);
  ASSERT_TRUE(startService(installation.serviceName));
  ASSERT_TRUE(waitForText(standinLog(), "start ", 1, 20000));
  std::string log = messageLogPath(installation.serviceName);
  EXPECT_TRUE(waitForText(log, ", ServiceStart, VQM Client - 24 is up, says the catalog.\n", 1, 10000))
      << readText(log);
  EXPECT_EQ(readText(log).find("has started."), std::string::npos);
}

// The application announces its own end and stays: it is killed with 999
// five seconds after the watch saw the announcement, and started again after
// the 30-second pause, the service running all along.
TEST_F(ServiceFaults, AnApplicationThatAnnouncesItsEndAndStaysIsKilledAndStartedAgain) {
  installation = layOut("25", withStandinMode("announce-shutdown 1\nignore-shutdown\n"));
  install(installation);
  ASSERT_TRUE(startService(installation.serviceName));
  ASSERT_TRUE(waitForText(standinLog(), "start ", 1, 20000));
  DWORD started = GetTickCount();
  HANDLE standin =
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, standinStarts(installation)[0].pid);
  ASSERT_NE(standin, nullptr);
  ASSERT_EQ(WaitForSingleObject(standin, 15000), WAIT_OBJECT_0);
  DWORD killed = GetTickCount();
  DWORD exitCode = 0;
  GetExitCodeProcess(standin, &exitCode);
  CloseHandle(standin);
  EXPECT_EQ(exitCode, 999u);
  // Announced after 1 s, seen at the next one-second watch, then 5 s of grace.
  EXPECT_GE(killed - started, 5500u);
  EXPECT_LE(killed - started, 9000u);
  writeFile(installation.workingDir + "\\standin.mode", "");  // the next one stops when asked

  ASSERT_TRUE(waitForText(standinLog(), "start ", 2, 45000));
  DWORD restarted = GetTickCount();
  EXPECT_GE(restarted - killed, 29000u);
  EXPECT_LE(restarted - killed, 36000u);
  EXPECT_EQ(serviceState(installation.serviceName), static_cast<DWORD>(SERVICE_RUNNING));
  std::string log = readText(messageLogPath(installation.serviceName));
  EXPECT_EQ(countOf(log, " process has stopped."), 1u) << log;
  EXPECT_EQ(countOf(log, "Stopping "), 0u) << log;
  EXPECT_EQ(stopService(installation.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
}

}  // namespace
}  // namespace e2e
