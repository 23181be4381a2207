// The operator's console commands, run as an operator runs them: in the
// installation directory, under the program's own name.
#include <gtest/gtest.h>

#include <cctype>

#include "e2e_support.h"
#include "tests/support/services_registry.h"

namespace e2e {
namespace {

const char DISPATCHER_FAILED[] = "Windows StartServiceCtrlDispatcher failed.";

std::string helpText(const std::string& name) {
  return name + " -install          to install the service\n" + name +
         " -remove           to remove the service\n" + name +
         " -debug [params]   to run as a console application for debugging\n";
}

class OperatorCommands : public ::testing::Test {
 protected:
  void TearDown() override { tearDown(installation); }
  std::string messageLog() const { return readText(messageLogPath(installation.serviceName)); }
  Installation installation;
};

// An installer's change of the registered binary path: true when the manager
// took it.
bool changeBinaryPath(const std::string& name, const std::string& binaryPath) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_CHANGE_CONFIG);
  bool changed = service != nullptr && ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                                            SERVICE_NO_CHANGE, binaryPath.c_str(), nullptr,
                                                            nullptr, nullptr, nullptr, nullptr, nullptr);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return changed;
}

// Installers branch on the exit code: a repeated install of the same program
// and a repeated remove find done what they ask (0) and keep printing what
// they did; an install over a service of another program fails with
// ERROR_SERVICE_EXISTS.
TEST_F(OperatorCommands, InstallsTwiceAndRemovesTwice) {
  installation = layOut("6", withDebugLog());
  ConsoleRun first = operatorCommand(installation, "-install");
  EXPECT_EQ(first.exitCode, 0u);
  EXPECT_EQ(first.out, "VQM Client - 6 installed as a Windows service.\n");

  // The second install puts the event sources back.
  ASSERT_TRUE(zaq_test::deleteEventSource("VQM Client - 6"));
  ConsoleRun second = operatorCommand(installation, "/INSTALL");
  EXPECT_EQ(second.exitCode, 0u);
  // ERROR_SERVICE_EXISTS, with the system's text before its code.
  EXPECT_EQ(second.out.rfind("Failed to install VQM Client - 6 as a Windows service - ", 0), 0u)
      << second.out;
  EXPECT_NE(second.out.find(" (0x431)\n"), std::string::npos) << second.out;
  EXPECT_EQ(second.out.find("(0x431)\n"), second.out.size() - 8) << second.out;
  EXPECT_TRUE(zaq_test::eventSourceRegistered("VQM Client - 6"));
  // Wine 8 refuses the failure-actions flag and cannot read the failure
  // actions back: the debug log shows that the first install asked for the
  // recovery settings (a refusal fails nothing) and that the second left
  // settings it cannot read as they were.
  std::string debugLog = readText(installation.workingDir + "\\service.log");
  EXPECT_EQ(countOf(debugLog, "] Could not set the service's failure actions flag (error "), 1u) << debugLog;
  EXPECT_EQ(countOf(debugLog, "] Could not read the service's failure actions (error 124); not changed\n"),
            1u)
      << debugLog;

  std::string otherFolder = installation.root + "\\other";
  CreateDirectoryA(otherFolder.c_str(), nullptr);
  std::string otherProgram = otherFolder + "\\" + installation.serviceName + ".exe";
  ASSERT_TRUE(CopyFileA(installation.program.c_str(), otherProgram.c_str(), FALSE));
  ConsoleRun other = runConsole(otherProgram, installation.serviceName + " -install", otherFolder);
  EXPECT_EQ(other.exitCode, static_cast<DWORD>(ERROR_SERVICE_EXISTS));
  EXPECT_EQ(other.out.rfind("Failed to install VQM Client - 6 as a Windows service - ", 0), 0u) << other.out;
  EXPECT_EQ(serviceBinaryPathName(installation.serviceName), installation.program);

  ConsoleRun remove = operatorCommand(installation, "-remove");
  EXPECT_EQ(remove.exitCode, 0u);
  EXPECT_EQ(remove.out, "VQM Client - 6 removed as a Windows service.\n");  // not running: no "Stopping"
  EXPECT_FALSE(serviceExists(installation.serviceName));

  ConsoleRun again = operatorCommand(installation, "-remove");
  EXPECT_EQ(again.exitCode, 0u);
  EXPECT_EQ(again.out.rfind("Windows OpenService failed - ", 0), 0u) << again.out;
  EXPECT_NE(again.out.find(" (0x424)\n"), std::string::npos) << again.out;  // ERROR_SERVICE_DOES_NOT_EXIST
  std::string log = messageLog();
  EXPECT_NE(log.find("CmdRemoveService, VQM Client - 6 removed as a Windows service.\n"), std::string::npos)
      << log;
}

// Upgrade scripts run the program through other spellings of the path it was
// registered with (the 8.3 form of a folder, which the default folders are):
// the same file, however either path spells it, is the same program; a copy
// of it elsewhere, or a path to no file, is another.
TEST_F(OperatorCommands, InstallsAgainThroughAnySpellingOfTheSameFile) {
  installation = layOut("51");
  std::string longFolder = installation.root + "\\QZR Long Folder";
  std::string file = installation.serviceName + ".exe";
  std::string longProgram = longFolder + "\\" + file;
  ASSERT_TRUE(CreateDirectoryA(longFolder.c_str(), nullptr));
  ASSERT_TRUE(CopyFileA(installation.program.c_str(), longProgram.c_str(), FALSE));
  char shortFolder[MAX_PATH];
  DWORD length = GetShortPathNameA(longFolder.c_str(), shortFolder, sizeof shortFolder);
  ASSERT_TRUE(length > 0 && length < sizeof shortFolder);
  std::string shortProgram = std::string(shortFolder) + "\\" + file;
  ASSERT_EQ(shortProgram.find(' '), std::string::npos) << shortProgram;
  ConsoleRun install = runConsole(longProgram, "\"" + longProgram + "\" -install", longFolder);
  ASSERT_EQ(install.exitCode, 0u) << install.out;
  std::string registered = serviceBinaryPathName(installation.serviceName);
  ASSERT_EQ(registered, "\"" + longProgram + "\"");

  std::string upper = longProgram;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct Spelling {
    std::string binaryPath;
    DWORD exitCode;
  } spellings[] = {
      {registered, 0},
      {upper, 0},
      {shortProgram, 0},
      {installation.root + "\\client\\..\\.\\QZR Long Folder\\" + file, 0},
      {registered + " ", 0},
      {longProgram + " ", 0},
      {longProgram + "\"", 0},
      {installation.program, ERROR_SERVICE_EXISTS},  // a copy of the same program
      {longFolder + "\\gone\\" + file, ERROR_SERVICE_EXISTS},
  };
  for (const Spelling& spelling : spellings) {
    ASSERT_TRUE(changeBinaryPath(installation.serviceName, spelling.binaryPath)) << spelling.binaryPath;
    for (const std::string& program : {shortProgram, longProgram}) {
      SCOPED_TRACE("registered " + spelling.binaryPath + ", run as " + program);
      ConsoleRun run = runConsole(program, "\"" + program + "\" -install", longFolder);
      EXPECT_EQ(run.exitCode, spelling.exitCode) << run.out;
      EXPECT_EQ(serviceBinaryPathName(installation.serviceName), spelling.binaryPath);
    }
  }
}

TEST_F(OperatorCommands, InstallsAnInteractiveServiceWithTheDesktopFlagInAnyCase) {
  installation = layOut("7");
  ConsoleRun install = operatorCommand(installation, "-install --DeskTop");
  EXPECT_EQ(install.exitCode, 0u);
  EXPECT_EQ(serviceType(installation.serviceName),
            static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS));
  ASSERT_TRUE(startService(installation.serviceName));
  EXPECT_TRUE(waitForState(installation.serviceName, SERVICE_RUNNING, 20000));
  EXPECT_TRUE(waitForText(installation.workingDir + "\\standin.log", "start ", 1, 20000));
  EXPECT_EQ(stopService(installation.serviceName).statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
}

TEST_F(OperatorCommands, RemovesARunningService) {
  installation = layOut("8");
  ASSERT_EQ(operatorCommand(installation, "-install").exitCode, 0u);
  ASSERT_TRUE(startService(installation.serviceName));
  ASSERT_TRUE(waitForText(installation.workingDir + "\\standin.log", "start ", 1, 20000));
  ConsoleRun remove = operatorCommand(installation, "-remove");
  EXPECT_EQ(remove.exitCode, 0u);
  EXPECT_EQ(remove.out,
            "Stopping VQM Client - 8.\nVQM Client - 8 has stopped.\nVQM Client - 8 removed as a Windows "
            "service.\n");
  EXPECT_FALSE(serviceExists(installation.serviceName));
  EXPECT_NE(readText(installation.workingDir + "\\standin.log").find("shutdown seen"), std::string::npos);
}

TEST_F(OperatorCommands, DebugRunsTheApplicationInTheConsoleUntilCtrlC) {
  installation = layOut("9", withDebugLog());
  RunningConsole run =
      startConsole(installation.program, installation.serviceName + " -debug", installation.workingDir);
  ASSERT_NE(run.process.hProcess, nullptr);
  ASSERT_TRUE(waitForText(installation.workingDir + "\\standin.log", "start ", 1, 20000));
  Sleep(500);
  ASSERT_TRUE(interruptConsole(run.process.dwProcessId));
  ConsoleRun debug = finish(run, 20000);
  EXPECT_EQ(debug.exitCode, 0u);
  std::string command = expectedJavaCommand(installation);
  EXPECT_EQ(standinStarts(installation)[0].commandLine, command);
  EXPECT_EQ(debug.out, "Debugging the VQM Client - 9...\nWorking directory is " + installation.workingDir +
                           ".\nJava command is " + command + "\nVQM Client - 9 has stopped.\n");
  EXPECT_NE(readText(installation.workingDir + "\\standin.log").find("shutdown seen"), std::string::npos);

  // The debug run ends there: no dispatcher step, which a console never reaches.
  std::string log = messageLog();
  EXPECT_EQ(log.find(DISPATCHER_FAILED), std::string::npos) << log;
  EXPECT_EQ(log.find("Process started for"), std::string::npos) << log;  // not in debug mode
  std::string debugLog = readText(installation.workingDir + "\\service.log");
  EXPECT_NE(debugLog.find("] Running in debug mode!\n"), std::string::npos);
  // logoffHandler was added last, so it takes the event.
  EXPECT_EQ(countOf(debugLog, "] CONTROL EVENT:  Stop requested via Ctrl+C\n"), 1u) << debugLog;
  EXPECT_EQ(countOf(debugLog, "CONSOLE EVENT:"), 0u) << debugLog;
  EXPECT_NE(debugLog.find("] ##           ZAQSERVICE HALTED            ##\n"), std::string::npos);
}

TEST_F(OperatorCommands, RunWithoutACommandFromAConsoleFailsToReachTheDispatcher) {
  installation = layOut("10");
  for (const char* arguments : {"", "--help", "-trace -debug", "-hel"}) {
    SCOPED_TRACE(arguments);
    ConsoleRun run = operatorCommand(installation, arguments);
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(countOf(messageLog(), ", main, " + std::string(DISPATCHER_FAILED) + "\n"), 4u);
}

TEST_F(OperatorCommands, HelpListsTheThreeCommands) {
  installation = layOut("11");
  for (const char* arguments : {"-help", "/HELP", "-Help -desktop"}) {
    SCOPED_TRACE(arguments);
    ConsoleRun run = operatorCommand(installation, arguments);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, helpText("zaqservice11"));
  }
}

TEST_F(OperatorCommands, TraceWritesEntryAndExitRecordsUnderTheInvocationName) {
  installation = layOut("12");
  ConsoleRun help = operatorCommand(installation, "-help -trace");
  EXPECT_EQ(help.out, helpText("zaqservice12"));
  ConsoleRun remove = operatorCommand(installation, "-remove -trace");
  EXPECT_NE(remove.out.find("Windows OpenService failed"), std::string::npos);
  std::string trace = readText(traceLogPath("zaqservice12"));
  for (const char* record :
       {"zaqservice12 ", ", main, ENTRY\n", ", CmdHelp, ENTRY\n", ", CmdHelp, EXIT\n", ", main, EXIT\n",
        ", CmdRemoveService(), ENTRY\n", ", GetLastErrorText, ENTRY\n", ", GetLastErrorText, EXIT\n",
        ", CmdRemoveService, Windows OpenService failed - ", ", CmdRemoveService(), EXIT\n"})
    EXPECT_NE(trace.find(record), std::string::npos) << record << "\n" << trace;
  EXPECT_EQ(countOf(trace, ", main, ENTRY\n"), 2u);

  // "-trace" in another case is no flag.
  DeleteFileA(traceLogPath("zaqservice12").c_str());
  operatorCommand(installation, "-help -Trace");
  EXPECT_FALSE(zaq_test::exists(traceLogPath("zaqservice12")));
}

}  // namespace
}  // namespace e2e
