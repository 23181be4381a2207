// The service host's printed messages as an operator sees them, in every
// language it has a catalog for: characters on a console whose code page is
// not the ANSI one, and the very bytes of the texts' codeset in a file.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/files.h"
#include "tests/support/services_registry.h"
#include "tests/support/windows_files.h"

namespace {

using zaq_test::buildPath;
using zaq_test::readFile;

constexpr char PROGRAM_NAME[] = "zaqservice_con14";

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

// What -install prints by locale: the UTF-8 text and the bytes iconv makes of
// it in the locale's ANSI code page.
struct InstalledText {
  const char* locale;
  const char* text;
  const char* ansi;
};

constexpr InstalledText INSTALLED_TEXTS[] = {
#include "installed_texts.inc"
};

// The tests run once per row, with LC_ALL set to the row's locale: Wine gives
// this process and the programs it starts that locale and its ANSI code page.
const InstalledText* rowOfThisRun() {
  const char* locale = std::getenv("LC_ALL");  // NOLINT(concurrency-mt-unsafe): the test runs on one thread
  for (const InstalledText& row : INSTALLED_TEXTS)
    if (locale != nullptr && std::strcmp(row.locale, locale) == 0) return &row;
  return nullptr;
}

// Copies the catalogs of the native build's translation folders into
// installation\nls\<locale>\, the layout of the package.
void layOutTranslations(const std::string& catalogs, const std::string& installation) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((catalogs + "\\*").c_str(), &entry);
  ASSERT_NE(search, INVALID_HANDLE_VALUE) << catalogs;
  do {
    std::string name = entry.cFileName;
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || name == "." || name == ".." ||
        name == "C" || name == "CMakeFiles")
      continue;
    std::string folder = installation + "\\nls\\" + name;
    zaq_test::makeDirectories(folder);
    EXPECT_TRUE(CopyFileA((catalogs + "\\" + name + "\\winServCMessages.cat").c_str(),
                          (folder + "\\winServCMessages.cat").c_str(), FALSE))
        << name;
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

// An agent installation of instance 14 in the build tree laid out as the
// package is, its translations in nls\<locale>\, without NLSPATH: the program
// finds the catalog of this run's locale (LC_ALL) there.
class ConsoleText : public ::testing::Test {
 protected:
  std::string dir = buildPath("console_text");
  std::string program = dir + "\\" + PROGRAM_NAME + ".exe";
  std::string previous;
  const InstalledText* row = rowOfThisRun();
  int runs = 0;

  // A file of its own for every run: Wine may hold a finished run's output
  // open a little longer, and a reused name would then fail to open.
  std::string freshFile(const char* kind) { return dir + "\\" + kind + std::to_string(++runs) + ".txt"; }
  void removeService() { runRedirected(program, "-remove", dir, freshFile("remove")); }

  void SetUp() override {
    ASSERT_NE(row, nullptr) << "LC_ALL names no row of installed_texts.txt";
    previous = zaq_test::enterFreshDirectory(dir);
    ASSERT_TRUE(CopyFileA(hostPath(ZAQSERVICE_EXE).c_str(), program.c_str(), FALSE));
    zaq_test::setWorkingDirectory("VQM_Client14", dir);
    std::string data = hostPath(ZAQ_DATA_DIR);
    layOutTranslations(data + "\\messages", dir);
    for (const char* name : {"NLSPATH", "LANG", "LC_MESSAGES", "ZEL_CODESET"})
      SetEnvironmentVariableA(name, nullptr);
    SetEnvironmentVariableA("ZELDIR", (data + "\\codesets").c_str());
    // A registration an interrupted run left behind would make -install fail.
    removeService();
  }
  void TearDown() override {
    if (row == nullptr) return;
    removeService();
    for (const char* name : {"ZELDIR", "ZEL_CODESET"}) SetEnvironmentVariableA(name, nullptr);
    zaq_test::deleteServiceKey("VQM_Client14");
    SetCurrentDirectoryA(previous.c_str());
    zaq_test::removeTree(dir);
  }
};

// The console shows 850 (the OEM code page of Western Europe) while the texts
// are in the locale's ANSI code page, or in UTF-8 by ZEL_CODESET: only
// characters, not bytes, read right on it.
TEST_F(ConsoleText, AConsoleInAnotherCodePageShowsTheCharacters) {
  // Wine's console has a screen to read back only with a window: the test
  // session's X display, which wine-run passes on (ZAQ_X_DISPLAY).
  char display[64];
  ASSERT_GT(GetEnvironmentVariableA("DISPLAY", display, sizeof display), 0u)
      << "no X display in this Wine session (is Xvfb installed?)";
  for (const char* codeset : {"", "UTF-8"}) {
    SetEnvironmentVariableA("ZEL_CODESET", *codeset != '\0' ? codeset : nullptr);
    std::string screen = freshFile("screen");
    std::string commandLine =
        "console_screen 850 \"" + screen + "\" \"" + program + "\" \"" + PROGRAM_NAME + " -install\"";
    EXPECT_EQ(
        runProgram(hostPath(CONSOLE_SCREEN_EXE), commandLine, dir, freshFile("helper"), DETACHED_PROCESS),
        0u);
    EXPECT_EQ(readFile(screen), std::string(row->text) + "\n") << codeset;
    removeService();
  }
}

// Scripts and installers that read the output get the bytes of the ANSI code
// page, as iconv makes them.
TEST_F(ConsoleText, AFileGetsTheBytesOfTheAnsiCodePage) {
  std::string output = freshFile("install");
  EXPECT_EQ(runRedirected(program, "-install", dir, output), 0u);
  EXPECT_EQ(readFile(output), std::string(row->ansi) + "\r\n");
}

}  // namespace
