// What the Java application prints is kept for the operator in
// "javaconsole.log", bounded, and never makes the application or the service
// wait: a JVM that fails at once, a run that prints megabytes, a file that
// cannot be written, and a process of the application's own that holds the
// output open.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "tests/standin/output_pattern.h"

namespace e2e {
namespace {

constexpr char JVM_OUT[] = "Error: Could not create the Java Virtual Machine.";
constexpr char JVM_ERR[] = "Invalid maximum heap size: -Xmx256q";

LayoutOptions debugLogAndMode(const std::string& mode) {
  return {true, true, mode};
}

class ApplicationOutput : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const Installation& laidOut : installations) {
      writeFile(laidOut.workingDir + "\\heir.stop", "");
      tearDown(laidOut);
    }
  }
  const Installation& installAndStart(const std::string& instance, const LayoutOptions& options) {
    installations.push_back(layOut(instance, options));
    const Installation& installation = installations.back();
    ConsoleRun install = operatorCommand(installation, "-install");
    EXPECT_EQ(install.exitCode, 0u) << install.out << install.err;
    EXPECT_TRUE(startService(installation.serviceName));
    return installation;
  }
  std::vector<Installation> installations;
};

std::string consoleLog(const Installation& installation) {
  return readFile(installation.workingDir + "\\javaconsole.log");
}

// The words of a JVM that fails at once, as a service and in the debug
// command, which also shows them on its console as they come.
TEST_F(ApplicationOutput, TheWordsOfAnApplicationThatEndsAtOnceAreKept) {
  std::string words = std::string("print-out ") + JVM_OUT + "\nprint-err " + JVM_ERR + "\n";
  installations.reserve(2);
  const Installation& service = installAndStart("31", debugLogAndMode(words + "exit-after 0\n"));
  const Installation& debugged = installations.emplace_back(layOut("32", withStandinMode(words)));
  RunningConsole run = startConsole(debugged.program, debugged.serviceName + " -debug", debugged.workingDir);
  ASSERT_NE(run.process.hProcess, nullptr);

  std::string expected = std::string(JVM_OUT) + "\r\n" + JVM_ERR + "\r\n";
  std::string debugLog = service.workingDir + "\\service.log";
  ASSERT_TRUE(waitForText(debugLog, "] Application ended ", 1, 20000)) << readText(debugLog);
  EXPECT_EQ(consoleLog(service), expected);
  EXPECT_NE(readText(debugLog).find(" ms after its start: what it printed is in javaconsole.log\n"),
            std::string::npos)
      << readText(debugLog);
  EXPECT_EQ(stopService(service.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));

  for (int waited = 0; consoleLog(debugged) != expected && waited < 200; ++waited) Sleep(100);
  EXPECT_EQ(consoleLog(debugged), expected);
  ASSERT_TRUE(interruptConsole(run.process.dwProcessId));
  ConsoleRun debug = finish(run, 20000);
  EXPECT_NE(debug.out.find(std::string(JVM_OUT) + "\n" + JVM_ERR + "\n"), std::string::npos) << debug.out;
}

// Over a MiB: the file keeps exactly the first half MiB, one line with the
// count of what was left out, and the last half MiB, which ends with the last
// words. A file that is held open without sharing, or a directory in its
// place, costs the output but never blocks the application.
TEST_F(ApplicationOutput, ARunThatPrintsMoreThanAMebibyteKeepsItsFirstAndLastHalvesAndNeverWaitsForTheFile) {
  constexpr unsigned long long PRINTED = 3000000;
  const std::string last = "java.lang.OutOfMemoryError: Java heap space\r\n";
  const std::string mode = "print-bytes " + std::to_string(PRINTED) + "\nprint-last " +
                           last.substr(0, last.size() - 2) + "\nexit-after 0\n";
  struct Case {
    const char* instance;
    const char* obstacle;  // "", "locked" or "directory"
  } cases[] = {{"33", ""}, {"34", "locked"}, {"35", "directory"}};
  HANDLE locked = INVALID_HANDLE_VALUE;
  installations.reserve(3);
  for (const Case& c : cases) {
    Installation laidOut = layOut(c.instance, debugLogAndMode(mode));
    std::string file = laidOut.workingDir + "\\javaconsole.log";
    if (std::string(c.obstacle) == "locked")
      locked = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (std::string(c.obstacle) == "directory") CreateDirectoryA(file.c_str(), nullptr);
    installations.push_back(laidOut);
  }
  ASSERT_NE(locked, INVALID_HANDLE_VALUE);
  for (const Installation& installation : installations) {
    ASSERT_EQ(operatorCommand(installation, "-install").exitCode, 0u);
    ASSERT_TRUE(startService(installation.serviceName));
  }
  std::string printed;
  for (unsigned long long at = 0; at < PRINTED; ++at) printed.push_back(outputPatternByte(at));
  printed += last;
  // The head ends with a line end of the pattern.
  const std::string kept =
      printed.substr(0, 524288) + "*** " + std::to_string(printed.size() - 1048576) +
      " bytes of output were left out here: this file keeps the first 524288 and the last "
      "524288 bytes of each run ***\r\n" +
      printed.substr(printed.size() - 524288);

  for (std::size_t i = 0; i < installations.size(); ++i) {
    const Installation& installation = installations[i];
    SCOPED_TRACE(std::string(cases[i].obstacle) + " " + installation.serviceName);
    std::string standinLog = installation.workingDir + "\\standin.log";
    EXPECT_TRUE(waitForText(standinLog, "printed 3000000 bytes in ", 1, 20000)) << readText(standinLog);
    std::string standinLines = readText(standinLog);
    std::size_t at = standinLines.find("printed 3000000 bytes in ");
    if (at != std::string::npos) {
      EXPECT_LT(std::strtoul(standinLines.c_str() + at + 25, nullptr, 10), 10000u) << standinLines;
    }
    std::string debugLog = installation.workingDir + "\\service.log";
    ASSERT_TRUE(waitForText(debugLog, "] Application ended ", 1, 10000)) << readText(debugLog);
    if (cases[i].obstacle[0] == '\0') {
      std::string file = consoleLog(installation);
      EXPECT_EQ(file.size(), kept.size());
      EXPECT_TRUE(file == kept);
      EXPECT_EQ(file.substr(524288, 200), kept.substr(524288, 200));
    } else {
      EXPECT_EQ(countOf(readText(debugLog), "] Cannot write javaconsole.log (error "), 1u)
          << readText(debugLog);
      EXPECT_EQ(countOf(readText(debugLog), "what it printed could not be kept in javaconsole.log"), 1u);
    }
    EXPECT_EQ(stopService(installation.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
  }
  CloseHandle(locked);
}

// The application started a process of its own that inherited its output and
// runs on, printing: the end of the application is still seen at once, both
// when it ends by itself (the restart path) and when the service stops, and
// the process's writes go on succeeding while the host runs. The
// application's standard input never ends while it runs.
TEST_F(ApplicationOutput, AStopAndARestartDoNotWaitForAProcessThatHoldsTheOutput) {
  installations.reserve(2);
  const Installation& restarting = installAndStart("36", withStandinMode("spawn-heir\nexit-after 2\n"));
  const Installation& stopping = installAndStart("37", withStandinMode("read-stdin\nspawn-heir\n"));
  for (const Installation* installation : {&restarting, &stopping})
    ASSERT_TRUE(waitForText(installation->workingDir + "\\standin.log", "heir ", 1, 20000));

  HANDLE standin = OpenProcess(SYNCHRONIZE, FALSE, standinStarts(restarting)[0].pid);
  ASSERT_NE(standin, nullptr);
  ASSERT_EQ(WaitForSingleObject(standin, 10000), WAIT_OBJECT_0);
  CloseHandle(standin);
  std::string log = messageLogPath(restarting.serviceName);
  EXPECT_TRUE(waitForText(log, " process has stopped.", 1, 3000)) << readText(log);
  // The heir prints on after the application's end, and the host reads on.
  Sleep(1500);
  std::string restartingLog = readText(restarting.workingDir + "\\standin.log");
  EXPECT_EQ(restartingLog.find("heir write failed"), std::string::npos) << restartingLog;

  std::string stoppingLog = readText(stopping.workingDir + "\\standin.log");
  EXPECT_EQ(stoppingLog.find("stdin ended"), std::string::npos) << stoppingLog;
  StopResult stop = stopService(stopping.serviceName);
  EXPECT_EQ(stop.statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_LT(stop.milliseconds, 3000u);
  log = messageLogPath(stopping.serviceName);
  EXPECT_TRUE(waitForText(log, " process has stopped.", 1, 3000)) << readText(log);
  // What the heir printed before the application's end is in the file.
  EXPECT_NE(consoleLog(stopping).find("heir\r\n"), std::string::npos);
}

}  // namespace
}  // namespace e2e
