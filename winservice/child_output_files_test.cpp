#include "winservice/child_output_files.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/own_process.h"
#include "tests/support/windows_files.h"
#include "winservice/service_state.h"
#include "winservice/service_supervision.h"

namespace {

using zaq::hostState;
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string STANDIN = zaq_test::buildPath("tests\\standin\\java.exe");
const char* const NAMES[] = {"javaconsole.log",   "javaconsole.1.log", "javaconsole.2.log",
                             "javaconsole.3.log", "javaconsole.4.log", "javaconsole.5.log"};

std::string addedAfter(const char* why) {
  return std::string("\r\n*** Another run begins here (") + why + ") ***\r\n";
}

// Runs of an application that prints "run N" and ends, through the
// supervision, over the files a case leaves in the working directory and
// with one of them held open by another program as the last run starts. Each
// start moves the earlier runs' files one place on and keeps the newest five;
// a file that cannot be moved leaves the newer ones where they are (the older
// ones move on), and the run is added at the end of javaconsole.log, which begins afresh once it has
// grown past five runs' worth; the debug log says so, and names the file.
TEST(RunFiles, EachStartKeepsTheNewestRunsInOrderAndAHeldFileDoesNotStopIt) {
  const std::string big(5 * 1024 * 1024, 'x');
  struct Case {
    const char* name;
    Files before;
    const char* held;  // held as the last run starts, or nullptr
    DWORD heldShare;
    int runs;
    Files after;                                                  // the others of NAMES are absent
    std::vector<std::pair<const char*, std::size_t>> debugLines;  // and how often
  } cases[] = {
      {"six runs",
       {},
       nullptr,
       0,
       6,
       {{NAMES[0], "run 6\r\n"},
        {NAMES[1], "run 5\r\n"},
        {NAMES[2], "run 4\r\n"},
        {NAMES[3], "run 3\r\n"},
        {NAMES[4], "run 2\r\n"}},
       {{" ms after its start: what it printed is in javaconsole.log\n", 6}, {"could not all move on", 0}}},
      {"javaconsole.log held by a reader that shares writing",
       {{NAMES[0], "earlier\r\n"}, {NAMES[1], "older\r\n"}},
       NAMES[0],
       FILE_SHARE_READ | FILE_SHARE_WRITE,
       1,
       {{NAMES[0], "earlier\r\n" +
                       addedAfter("javaconsole.log cannot be moved to javaconsole.1.log, error 32") +
                       "run 1\r\n"},
        {NAMES[2], "older\r\n"}},
       {{"] The runs' output files could not all move on (javaconsole.log cannot be moved to "
         "javaconsole.1.log, error 32): this run is added at the end of javaconsole.log\n",
         1},
        {" ms after its start: what it printed is at the end of javaconsole.log\n", 1}}},
      {"javaconsole.2.log held",
       {{NAMES[0], "a"}, {NAMES[1], "b"}, {NAMES[2], "c"}, {NAMES[3], "d"}},
       NAMES[2],
       FILE_SHARE_READ,
       1,
       {{NAMES[0],
         "a" + addedAfter("javaconsole.2.log cannot be moved to javaconsole.3.log, error 32") + "run 1\r\n"},
        {NAMES[1], "b"},
        {NAMES[2], "c"},
        {NAMES[4], "d"}},
       {{"(javaconsole.2.log cannot be moved to javaconsole.3.log, error 32): this run is added at the end "
         "of "
         "javaconsole.log\n",
         1}}},
      {"javaconsole.log held and grown past five runs",
       {{NAMES[0], big}},
       NAMES[0],
       FILE_SHARE_READ | FILE_SHARE_WRITE,
       1,
       {{NAMES[0], "run 1\r\n"}},
       {{"] The runs' output files could not all move on (javaconsole.log cannot be moved to "
         "javaconsole.1.log, "
         "error 32), and javaconsole.log is over 5242880 bytes: it begins afresh\n",
         1},
        {"this run is added", 0},
        {" ms after its start: what it printed is in javaconsole.log\n", 1}}},
  };
  std::string dir = zaq_test::buildPath("winservice_run_files");
  std::string command = STANDIN + " -classpath x Main";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string startDir = zaq_test::enterFreshDirectory(dir);
    hostState = zaq::ServiceHostState{};
    hostState.shutdownFilePath = dir + "\\shutdown";
    std::string logPath = dir + "\\service.log";
    hostState.debugLogFile = std::fopen(logPath.c_str(), "ab");  // lines end in "\n" as written
    ASSERT_NE(hostState.debugLogFile, nullptr);
    for (const auto& [name, content] : c.before) zaq_test::writeFile(dir + "\\" + name, content);
    HANDLE held = INVALID_HANDLE_VALUE;
    for (int run = 1; run <= c.runs; ++run) {
      if (run == c.runs && c.held != nullptr) {
        held = CreateFileA(c.held, GENERIC_READ, c.heldShare, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
      }
      zaq_test::writeFile(dir + "\\standin.mode",
                          "print-out run " + std::to_string(run) + "\nexit-after 0\n");
      EXPECT_TRUE(zaq::startServiceApp(command.c_str())) << run;
    }
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    std::fclose(hostState.debugLogFile);
    hostState.debugLogFile = nullptr;
    for (const char* name : NAMES) {
      std::string expected = "(absent)";
      for (const auto& [kept, content] : c.after)
        if (kept == name) expected = content;
      std::string path = dir + "\\" + name;
      std::string actual = zaq_test::exists(path) ? zaq_test::readFile(path) : "(absent)";
      EXPECT_TRUE(actual == expected) << name << ": " << actual.substr(0, 300);
    }
    std::string log = zaq_test::readFile(logPath);
    for (const auto& [line, count] : c.debugLines)
      EXPECT_EQ(zaq_test::occurrences(log, line), count) << line << "\n" << log;
    SetCurrentDirectoryA(startDir.c_str());
    hostState = zaq::ServiceHostState{};
  }
  zaq_test::removeTree(dir);
}

}  // namespace
