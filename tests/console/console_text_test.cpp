// The service host's printed messages as an operator sees them: characters on
// a console whose code page is not the ANSI one, and the very bytes of the
// texts' codeset in a file.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "winservice/service_test_support.h"

namespace {

using zaq_test::buildPath;
using zaq_test::readFile;

constexpr char PROGRAM_NAME[] = "zaqservice_con14";
constexpr char DISPLAY_NAME[] = "VQM Client - 14";

std::string hostPath(const char* path) {
  std::string result = path;
  for (char& c : result)
    if (c == '/') c = '\\';
  return result;
}

// Runs application with commandLine in directory, with standard output and
// error in outputFile when one is given; returns its exit code.
DWORD runProgram(const std::string& application, const std::string& commandLine, const std::string& directory,
                 const std::string& outputFile, DWORD flags) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  HANDLE out = INVALID_HANDLE_VALUE;
  if (!outputFile.empty()) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    out =
        CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 0xFFFFFFFF;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
  }
  std::string line = commandLine;
  PROCESS_INFORMATION process = {};
  DWORD exitCode = 0xFFFFFFFF;
  if (CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr,
                     directory.c_str(), &startup, &process)) {
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0)
      GetExitCodeProcess(process.hProcess, &exitCode);
    else
      TerminateProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  return exitCode;
}

DWORD runRedirected(const std::string& program, const std::string& arguments, const std::string& directory,
                    const std::string& outputFile) {
  return runProgram(program, std::string(PROGRAM_NAME) + " " + arguments, directory, outputFile,
                    CREATE_NO_WINDOW);
}

// An agent installation of instance 14 in the build tree, whose program reads
// the French catalog and converts it with the codeset tables of the native
// build into the ANSI code page, 1252 under Wine for LANG=fr_FR.
class ConsoleText : public ::testing::Test {
 protected:
  std::string dir = buildPath("console_text");
  std::string program = dir + "\\" + PROGRAM_NAME + ".exe";
  std::string previous;

  void SetUp() override {
    previous = zaq_test::enterFreshDirectory(dir);
    ASSERT_TRUE(CopyFileA(hostPath(ZAQSERVICE_EXE).c_str(), program.c_str(), FALSE));
    zaq_test::setWorkingDirectory("VQM_Client14", dir);
    std::string data = hostPath(ZAQ_DATA_DIR);
    SetEnvironmentVariableA("NLSPATH", (data + "\\messages\\%L\\%N.cat").c_str());
    SetEnvironmentVariableA("LANG", "fr_FR");
    SetEnvironmentVariableA("ZELDIR", (data + "\\codesets").c_str());
    SetEnvironmentVariableA("ZEL_CODESET", nullptr);
    // A registration an interrupted run left behind would make -install fail.
    runRedirected(program, "-remove", dir, dir + "\\remove.txt");
  }
  void TearDown() override {
    runRedirected(program, "-remove", dir, dir + "\\remove.txt");
    for (const char* name : {"NLSPATH", "LANG", "ZELDIR"}) SetEnvironmentVariableA(name, nullptr);
    zaq_test::deleteServiceKey("VQM_Client14");
    SetCurrentDirectoryA(previous.c_str());
    zaq_test::removeTree(dir);
  }
};

// The console shows 850 (the OEM code page of Western Europe) while the texts
// are in 1252, or in UTF-8 by ZEL_CODESET: only characters, not bytes, read
// right on it.
TEST_F(ConsoleText, AConsoleInAnotherCodePageShowsTheCharacters) {
  // Wine's console has a screen to read back only with a window: the test
  // session's X display, which wine-run passes on (ZAQ_X_DISPLAY).
  char display[64];
  ASSERT_GT(GetEnvironmentVariableA("DISPLAY", display, sizeof display), 0u)
      << "no X display in this Wine session (is Xvfb installed?)";
  std::string screen = dir + "\\screen.txt";
  std::string commandLine =
      "console_screen 850 \"" + screen + "\" \"" + program + "\" \"" + PROGRAM_NAME + " -install\"";
  for (const char* codeset : {"", "UTF-8"}) {
    SetEnvironmentVariableA("ZEL_CODESET", *codeset != '\0' ? codeset : nullptr);
    EXPECT_EQ(
        runProgram(hostPath(CONSOLE_SCREEN_EXE), commandLine, dir, dir + "\\helper.txt", DETACHED_PROCESS),
        0u);
    EXPECT_EQ(readFile(screen),
              std::string(DISPLAY_NAME) + " a \u00e9t\u00e9 install\u00e9 comme service Windows.\n")
        << codeset;
    runRedirected(program, "-remove", dir, dir + "\\remove.txt");
  }
  SetEnvironmentVariableA("ZEL_CODESET", nullptr);
}

// Scripts and installers that read the output get the bytes they got before.
TEST_F(ConsoleText, AFileGetsTheBytesOfTheAnsiCodePage) {
  std::string output = dir + "\\install.txt";
  EXPECT_EQ(runRedirected(program, "-install", dir, output), 0u);
  EXPECT_EQ(readFile(output),
            std::string(DISPLAY_NAME) + " a \xe9t\xe9 install\xe9 comme service Windows.\r\n");
}

}  // namespace
