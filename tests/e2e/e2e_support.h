// What the end-to-end tests need to play the operator and the installer under
// Wine: an agent installation laid out on drive C:, zaqservice run from a
// console with its output captured, the Service Control Manager, and the
// files and event records the service leaves behind.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"
#include "tests/support/wine_event_log.h"
#include "winservice/log_format.h"

namespace e2e {

// An agent installation of instance `instance`: C:\zaqe2e\s<instance> holds
// _jvm\bin\java.exe (the stand-in), jars\client.jar, jars\boot\boot.jar and the
// working directory client\ with client.pref and zaqservice<instance>.exe.
struct Installation {
  std::string instance;
  std::string root;
  std::string workingDir;
  std::string serviceName;  // zaqservice<instance>
  std::string displayName;  // VQM Client - <instance>
  std::string program;      // the copy of zaqservice.exe in the working directory
};

struct LayoutOptions {
  bool launcher = true;     // put the stand-in where the Java launcher belongs
  bool debugLog = false;    // the "debugservice" marker
  std::string standinMode;  // content of "standin.mode", empty for none
};
inline LayoutOptions withDebugLog() {
  return {true, true, ""};
}
inline LayoutOptions withoutLauncher() {
  return {false, false, ""};
}
inline LayoutOptions withStandinMode(const std::string& mode) {
  return {true, false, mode};
}

// Lays out a fresh installation (removing an earlier one and its service and
// logs) and writes its "WorkingDirectory" registry value.
Installation layOut(const std::string& instance, const LayoutOptions& options = {});

// Stops and deletes the service of the installation when it is registered,
// and deletes its registry key; a Service Control Manager call that fails on
// the way is a test failure.
void tearDown(const Installation& installation);

// The Java command line zaqservice builds for the layout.
std::string expectedJavaCommand(const Installation& installation);

// A console run of a program: exit code, standard output, standard error.
struct ConsoleRun {
  DWORD exitCode = STILL_ACTIVE;
  std::string out;
  std::string err;
};

// Runs application with commandLine (argument 0 as the operator typed it) in
// directory, in a console of its own; waits up to timeoutMs. Line ends of the
// output read as "\n".
ConsoleRun runConsole(const std::string& application, const std::string& commandLine,
                      const std::string& directory, DWORD timeoutMs = 120000);

// The same started in a console of its own and left running; finish() waits.
struct RunningConsole {
  PROCESS_INFORMATION process{};
  std::string outPath;
  std::string errPath;
};
RunningConsole startConsole(const std::string& application, const std::string& commandLine,
                            const std::string& directory);
ConsoleRun finish(RunningConsole& run, DWORD timeoutMs);

// Sends Ctrl+C to the console of process processId (through a helper that
// attaches to it): true when the event was generated.
bool interruptConsole(DWORD processId);

// Operator's runs of the installation's program in its working directory.
ConsoleRun operatorCommand(const Installation& installation, const std::string& arguments,
                           DWORD timeoutMs = 120000);

// Service Control Manager. A call that fails says which call, for which
// service, and the Windows error code with its text: the failures of these
// helpers are test failures (the queries add them), the results of startService
// and waitForState carry them to the test's assertion.
std::string scmFailure(const char* call, const std::string& name, DWORD error);
DWORD serviceState(const std::string& name);  // 0 when the service is not registered
bool serviceExists(const std::string& name);
DWORD serviceProcessId(const std::string& name);
DWORD serviceWin32ExitCode(const std::string& name);  // of the last status reported
std::string serviceBinaryPathName(const std::string& name);
DWORD serviceType(const std::string& name);
::testing::AssertionResult startService(const std::string& name);
::testing::AssertionResult waitForState(const std::string& name, DWORD state, DWORD timeoutMs);

// A stop through the SCM, with every state it reported from the request on, as
// the manager notified them; a last 0 when the stop could not be followed to
// SERVICE_STOPPED (a test failure too).
struct StopResult {
  ::testing::AssertionResult accepted = ::testing::AssertionFailure();  // with the refusal's error
  std::vector<DWORD> statesSeen;
  DWORD milliseconds = 0;   // until SERVICE_STOPPED was seen
  SERVICE_STATUS answer{};  // the status ControlService returned with
  DWORD answerMs = 0;       // until ControlService returned
};
StopResult stopService(const std::string& name, DWORD timeoutMs = 30000);

// Files, and the product log files of a service as the host names them.
using zaq_test::readFile;
using zaq_test::readText;
using zaq_test::writeFile;
inline std::string messageLogPath(const std::string& name) {
  return zaq::logFilePath(name.c_str(), zaq::LOG_KIND_MESSAGE);
}
inline std::string traceLogPath(const std::string& name) {
  return zaq::logFilePath(name.c_str(), zaq::LOG_KIND_TRACE);
}
std::size_t countOf(const std::string& text, const std::string& token);
// Waits until text of file path holds token at least count times.
bool waitForText(const std::string& path, const std::string& token, std::size_t count, DWORD timeoutMs);

// The stand-in's "start <pid> <command line>" lines, in order.
struct StandinStart {
  DWORD pid = 0;
  std::string commandLine;
};
std::vector<StandinStart> standinStarts(const Installation& installation);

// Event records of the Wine session (its services).
using zaq_test::sessionEvents;

// Wine reports no private bytes for another process; the Unix process that
// runs it tells its peak and current resident set and its private (anonymous)
// resident memory, in KiB (-1 where unknown).
struct UnixFigures {
  long peakResident = -1;
  long resident = -1;
  long privateResident = -1;
};

// The figures of the first Unix process whose command line holds program.
UnixFigures unixFiguresOf(const std::string& program);
// The same in two steps, for a process watched often: its folder under
// Z:\proc ("" when there is none), found by a walk over every process, and
// the figures read there.
std::string unixProcessOf(const std::string& program);
UnixFigures unixFiguresAt(const std::string& process);

}  // namespace e2e
