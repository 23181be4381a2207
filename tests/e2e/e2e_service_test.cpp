// The service's life through the Service Control Manager: install, start,
// a stop that answers at once, a child that will not stop, the watch of the
// shutdown file, the preshutdown notice, a stop in the restart pause, a
// launcher that is not there, and a binary path with a blank.
#include <gtest/gtest.h>

#include <cstdio>

#include "e2e_support.h"

namespace e2e {
namespace {

// Each of lines appears in text after the one before it.
void expectInOrder(const std::string& text, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const std::string& line : lines) {
    std::size_t found = text.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << text;
    at = found + line.size();
  }
}

bool sawState(const StopResult& stop, DWORD state) {
  for (DWORD seen : stop.statesSeen)
    if (seen == state) return true;
  return false;
}

std::string statesOf(const StopResult& stop) {
  std::string states;
  for (DWORD seen : stop.statesSeen) states += std::to_string(seen) + " ";
  return states;
}

class ServiceLife : public ::testing::Test {
 protected:
  void TearDown() override { tearDown(installation); }

  // Installs the layout's service and starts it until the stand-in runs.
  void installAndStart() {
    ConsoleRun install = operatorCommand(installation, "-install");
    ASSERT_EQ(install.exitCode, 0u) << install.out << install.err;
    ASSERT_EQ(install.out, installation.displayName + " installed as a Windows service.\n");
    ASSERT_TRUE(startService(installation.serviceName));
    ASSERT_TRUE(waitForState(installation.serviceName, SERVICE_RUNNING, 20000));
    ASSERT_TRUE(waitForText(installation.workingDir + "\\standin.log", "start ", 1, 20000));
  }

  std::string messageLog() const { return readText(messageLogPath(installation.serviceName)); }

  Installation installation;
};

TEST_F(ServiceLife, StartsTheApplicationAndStopsItGracefully) {
  installation = layOut("1", withDebugLog());
  std::size_t startedEvents = sessionEvents("trace", installation.displayName + " has started.");
  installAndStart();
  EXPECT_EQ(serviceBinaryPathName(installation.serviceName), installation.program);  // no blank: no quotes
  EXPECT_EQ(serviceType(installation.serviceName), static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));

  std::string command = expectedJavaCommand(installation);
  std::vector<StandinStart> starts = standinStarts(installation);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].commandLine, command);
  ASSERT_TRUE(waitForText(messageLogPath(installation.serviceName), "Process started for", 1, 10000));
  expectInOrder(messageLog(), {"VQM Client - 1 has started.\n", "Process started for " + command + "\n"});
  EXPECT_EQ(sessionEvents("trace", installation.displayName + " has started."), startedEvents + 1);
  EXPECT_GE(sessionEvents("trace", "Process started for " + installation.workingDir), 1u);

  StopResult stop = stopService(installation.serviceName);
  EXPECT_TRUE(stop.accepted);
  EXPECT_TRUE(sawState(stop, SERVICE_STOP_PENDING)) << statesOf(stop);
  ASSERT_FALSE(stop.statesSeen.empty());
  EXPECT_EQ(stop.statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_LT(stop.milliseconds, 5000u);
  EXPECT_NE(readText(installation.workingDir + "\\standin.log").find("shutdown seen"), std::string::npos);
  EXPECT_FALSE(zaq_test::exists(installation.workingDir + "\\shutdown"));
  EXPECT_FALSE(zaq_test::exists(installation.workingDir + "\\lock"));

  ASSERT_TRUE(waitForText(messageLogPath(installation.serviceName), "VQM Client - 1 has stopped.", 1, 10000));
  std::string log = messageLog();
  EXPECT_NE(log.find(", ServiceStop, Stopping VQM Client - 1.\n"), std::string::npos) << log;
  EXPECT_NE(log.find(", startServiceApp, " + command + " process has stopped.\n"), std::string::npos) << log;
  EXPECT_NE(log.find(", serviceStart, VQM Client - 1 has stopped.\n"), std::string::npos) << log;
  EXPECT_GE(sessionEvents("trace", "Stopping VQM Client - 1."), 1u);
  EXPECT_GE(sessionEvents("trace", "VQM Client - 1 has stopped."), 1u);

  // The service thread and main write their last lines after the SCM has seen
  // SERVICE_STOPPED: wait for the process's closing banner.
  ASSERT_TRUE(waitForText(installation.workingDir + "\\service.log", "ZAQSERVICE HALTED", 1, 10000));
  // Lines of one thread keep their order; the stop runs on the dispatcher's.
  std::string debugLog = readText(installation.workingDir + "\\service.log");
  const std::string rule = "] ############################################\n";
  expectInOrder(
      debugLog,
      {rule, "] ##          STARTING ZAQSERVICE           ##\n", rule, "] Registering as event source\n",
       "] STATE TRANSITION -> SERVICE_START_PENDING\n", "] STATE TRANSITION -> SERVICE_RUNNING\n",
       "] Starting application\n", "] Creating application process.\n", "] Application started\n",
       "] SERVICE EVENT:  Stop requested\n", "] STATE TRANSITION -> SERVICE_STOP_PENDING\n",
       "] Creating shutdown file.\n", "] Application is stopped.\n",
       "] STATE TRANSITION -> SERVICE_STOPPED\n", "] ##           ZAQSERVICE HALTED            ##\n", rule});
  expectInOrder(debugLog, {"] Application started\n", "] Application exited with exit code 0\n"});
  EXPECT_NE(debugLog.find("] Deregistering as event source\n"), std::string::npos) << debugLog;
  EXPECT_EQ(debugLog.rfind("[m", 0), 0u);
}

// The control handler answers at once while the stop gives an application
// that ignores the shutdown file its five seconds and kills it; the debug log
// tells the kill, not an exit.
TEST_F(ServiceLife, AStopAnswersAtOnceAndKillsAnApplicationThatIgnoresTheShutdownFile) {
  installation = layOut("2", {true, true, "ignore-shutdown\n"});
  installAndStart();
  std::vector<StandinStart> starts = standinStarts(installation);
  ASSERT_EQ(starts.size(), 1u);
  HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, starts[0].pid);
  ASSERT_NE(child, nullptr);

  StopResult stop = stopService(installation.serviceName);
  EXPECT_TRUE(stop.accepted);
  EXPECT_LT(stop.answerMs, 100u);
  EXPECT_EQ(stop.answer.dwCurrentState, static_cast<DWORD>(SERVICE_STOP_PENDING));
  EXPECT_GE(stop.answer.dwWaitHint, 5000u);  // the grace and the kill
  EXPECT_GE(stop.answer.dwCheckPoint, 1u);
  EXPECT_TRUE(sawState(stop, SERVICE_STOP_PENDING)) << statesOf(stop);
  EXPECT_EQ(stop.statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_GE(stop.milliseconds, 4500u);
  EXPECT_LT(stop.milliseconds, 8000u);
  EXPECT_EQ(WaitForSingleObject(child, 5000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  GetExitCodeProcess(child, &exitCode);
  CloseHandle(child);
  EXPECT_EQ(exitCode, 999u);
  EXPECT_FALSE(zaq_test::exists(installation.workingDir + "\\shutdown"));

  ASSERT_TRUE(waitForText(installation.workingDir + "\\service.log", "ZAQSERVICE HALTED", 1, 10000));
  std::string debugLog = readText(installation.workingDir + "\\service.log");
  // The stop's lines, and the watch's, each in the order of its thread.
  expectInOrder(debugLog,
                {"] SERVICE EVENT:  Stop requested\n", "] STATE TRANSITION -> SERVICE_STOP_PENDING\n",
                 "] Creating shutdown file.\n", "] Stop timer exceeded, killing application.\n",
                 "] Sending application termination signal\n", "] Application terminated\n",
                 "] Application is stopped.\n", "] STATE TRANSITION -> SERVICE_STOPPED\n"});
  expectInOrder(debugLog, {"] Application started\n", "] Application terminated\n",
                           "] Application was killed with exit code 999\n"});
  for (const char* absent : {"Application initiated shutdown detected", "Application exited by itself",
                             "] Application exited", "Application termination failed!"})
    EXPECT_EQ(debugLog.find(absent), std::string::npos) << absent << "\n" << debugLog;
  EXPECT_EQ(countOf(debugLog, "] STATE TRANSITION -> SERVICE_STOPPED\n"), 1u) << debugLog;
}

// Milliseconds of the day of a debug-log line holding text ("[m08 11:40:00.123] text"), or -1.
long debugLineTime(const std::string& log, const std::string& text) {
  std::size_t at = log.find("] " + text);
  if (at == std::string::npos || at < 12) return -1;
  int hours = 0, minutes = 0, seconds = 0, milliseconds = 0;
  if (std::sscanf(log.c_str() + at - 12, "%2d:%2d:%2d.%3d", &hours, &minutes, &seconds, &milliseconds) != 4)
    return -1;
  return ((hours * 60L + minutes) * 60 + seconds) * 1000 + milliseconds;
}

long localTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return ((now.wHour * 60L + now.wMinute) * 60 + now.wSecond) * 1000 + now.wMilliseconds;
}

// The application's own "shutdown" is seen as it appears, not at the next of
// once-a-second looks: the file is made 150 ms after such a look would have
// been, and its five seconds of grace start from there.
TEST_F(ServiceLife, TheWatchSeesAShutdownFileAsItAppears) {
  installation = layOut("181", {true, true, "ignore-shutdown\n"});
  installAndStart();
  std::string debugLogPath = installation.workingDir + "\\service.log";
  ASSERT_TRUE(waitForText(debugLogPath, "] Application started\n", 1, 10000));
  HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, standinStarts(installation)[0].pid);
  ASSERT_NE(child, nullptr);
  long started = debugLineTime(readText(debugLogPath), "Application started\n");
  ASSERT_GE(started, 0);
  long now = localTimeOfDay();
  long madeAt = started + ((now - started) / 1000 + 2) * 1000 + 150;
  Sleep(static_cast<DWORD>(madeAt - now));
  writeFile(installation.workingDir + "\\shutdown", "");
  madeAt = localTimeOfDay();
  DWORD madeTick = GetTickCount();

  ASSERT_TRUE(waitForText(debugLogPath, "] Application initiated shutdown detected", 1, 5000));
  long seen = debugLineTime(readText(debugLogPath), "Application initiated shutdown detected");
  EXPECT_LT(seen - madeAt, 300) << readText(debugLogPath);
  EXPECT_EQ(WaitForSingleObject(child, 8000), WAIT_OBJECT_0);
  DWORD killedAfter = GetTickCount() - madeTick;
  CloseHandle(child);
  EXPECT_GE(killedAfter, 4900u);
  EXPECT_LT(killedAfter, 5600u);
  EXPECT_EQ(stopService(installation.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
}

// At a system shutdown the service takes the early preshutdown notice (which
// its handler turns into a stop) and the install gave the manager a
// preshutdown timeout that covers the grace and a kill. Only the system sends
// the notice itself: a control program's is refused, by Wine's manager too.
TEST_F(ServiceLife, TheServiceTakesThePreshutdownNoticeWithTimeToStop) {
  installation = layOut("182");
  installAndStart();
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      OpenServiceA(manager, installation.serviceName.c_str(), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
  SERVICE_STATUS status{};
  EXPECT_TRUE(QueryServiceStatus(service, &status)) << GetLastError();
  EXPECT_EQ(status.dwControlsAccepted,
            static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN));
  SERVICE_PRESHUTDOWN_INFO preshutdown{};
  DWORD needed = 0;
  EXPECT_TRUE(QueryServiceConfig2A(service, SERVICE_CONFIG_PRESHUTDOWN_INFO,
                                   reinterpret_cast<BYTE*>(&preshutdown), sizeof preshutdown, &needed))
      << GetLastError();
  EXPECT_EQ(preshutdown.dwPreshutdownTimeout, 15000u);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  EXPECT_EQ(stopService(installation.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(ServiceLife, AStopDuringTheRestartPauseDoesNotWait) {
  installation = layOut("3", withStandinMode("exit-after 1\n"));
  installAndStart();
  ASSERT_TRUE(waitForText(messageLogPath(installation.serviceName), " process has stopped.", 1, 10000));
  Sleep(500);  // into the 30-second pause
  StopResult stop = stopService(installation.serviceName);
  EXPECT_TRUE(stop.accepted);
  EXPECT_EQ(stop.statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_LT(stop.milliseconds, 2000u);
  EXPECT_EQ(standinStarts(installation).size(), 1u);
  EXPECT_FALSE(zaq_test::exists(installation.workingDir + "\\service.log"));  // no marker, no debug log
}

TEST_F(ServiceLife, AMissingLauncherEndsTheSupervision) {
  installation = layOut("4", withoutLauncher());
  std::string failure =
      "Windows CreateProcess for command '" + expectedJavaCommand(installation) + "' failed.";
  // Wine cuts long event records: the start of the text identifies it.
  std::string failureEvent = "startServiceApp, Windows CreateProcess for command '" + installation.workingDir;
  std::size_t errorsBefore = sessionEvents("err", failureEvent);
  ConsoleRun install = operatorCommand(installation, "-install");
  ASSERT_EQ(install.exitCode, 0u);
  // The service stops a few milliseconds after its first report; when Wine's
  // manager looks only after that, it answers ERROR_SERVICE_REQUEST_TIMEOUT.
  // The log below shows the run either way.
  ::testing::AssertionResult started = startService(installation.serviceName);
  if (!started) {
    ASSERT_NE(std::string(started.message()).find("failed with error 1053 "), std::string::npos)
        << started.message();
  }
  ASSERT_TRUE(waitForState(installation.serviceName, SERVICE_STOPPED, 20000));
  ASSERT_TRUE(waitForText(messageLogPath(installation.serviceName), "has stopped.", 1, 10000));
  std::string log = messageLog();
  EXPECT_NE(log.find(failure + " Error code 2\n"), std::string::npos) << log;
  EXPECT_EQ(sessionEvents("err", failureEvent), errorsBefore + 1);
  EXPECT_EQ(log.find("Process started for"), std::string::npos);
  // Windows hears why: the last status carries the error (ERROR_FILE_NOT_FOUND),
  // which "sc query" shows and recovery counts as a failure.
  EXPECT_EQ(serviceWin32ExitCode(installation.serviceName), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

  // The debug run ends with the same error as its exit code, and without the
  // dispatcher step that a console never reaches.
  ConsoleRun debug = operatorCommand(installation, "-debug");
  EXPECT_EQ(debug.exitCode, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_NE(debug.out.find(failure + " Error code 2\n"), std::string::npos) << debug.out;
  EXPECT_EQ(messageLog().find("StartServiceCtrlDispatcher failed."), std::string::npos) << messageLog();
}

TEST_F(ServiceLife, QuotesABinaryPathWithABlankAndStartsFromIt) {
  installation = layOut("5");
  std::string folder = installation.root + "\\bin dir";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string program = folder + "\\" + installation.serviceName + ".exe";
  ASSERT_TRUE(CopyFileA(installation.program.c_str(), program.c_str(), FALSE));
  ConsoleRun install = runConsole(program, installation.serviceName + " -install", folder);
  ASSERT_EQ(install.exitCode, 0u) << install.out;
  EXPECT_EQ(serviceBinaryPathName(installation.serviceName), "\"" + program + "\"");
  ASSERT_TRUE(startService(installation.serviceName));
  ASSERT_TRUE(waitForState(installation.serviceName, SERVICE_RUNNING, 20000));
  ASSERT_TRUE(waitForText(installation.workingDir + "\\standin.log", "start ", 1, 20000));
  EXPECT_EQ(standinStarts(installation)[0].commandLine, expectedJavaCommand(installation));
  EXPECT_EQ(stopService(installation.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
}

// A stand-in log left by an earlier session names process ids that this
// session's processes may carry now: tearing down ends the installation's
// stand-ins and nothing else.
TEST(EndToEndSupport, TearDownEndsTheInstallationsStandInsAndNothingElse) {
  Installation installation = layOut("14");
  std::string launcher = installation.workingDir + "\\..\\_jvm\\bin\\java.exe";
  std::string line = launcher + " -version";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION standin{};
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                             installation.workingDir.c_str(), &startup, &standin));
  ASSERT_TRUE(waitForText(installation.workingDir + "\\standin.log", "start ", 1, 20000));
  std::string log = readFile(installation.workingDir + "\\standin.log");
  writeFile(installation.workingDir + "\\standin.log",
            log + "start " + std::to_string(GetCurrentProcessId()) + " java.exe\n");
  tearDown(installation);  // ends this process too when it goes by the ids alone
  EXPECT_EQ(WaitForSingleObject(standin.hProcess, 5000), WAIT_OBJECT_0);
  CloseHandle(standin.hProcess);
  CloseHandle(standin.hThread);
}

}  // namespace
}  // namespace e2e
