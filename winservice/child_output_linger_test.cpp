#include "winservice/child_output_linger.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/own_process.h"
#include "tests/support/windows_files.h"
#include "winservice/service_state.h"

namespace {

using zaq::hostState;

// A pipe made as a run's: the overlapped read end to hand over, the write end
// for the test to print into, as a process left behind would.
struct RunPipe {
  HANDLE readEnd = INVALID_HANDLE_VALUE;
  HANDLE writeEnd = INVALID_HANDLE_VALUE;
};

RunPipe makeRunPipe() {
  static int counter = 0;
  std::string name =
      "\\\\.\\pipe\\linger-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
  RunPipe pipe;
  pipe.readEnd = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 65536, 0, nullptr);
  pipe.writeEnd = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  return pipe;
}

bool print(HANDLE writeEnd, std::size_t length, DWORD* error) {
  std::string bytes(length, 'x');
  DWORD written = 0;
  bool done =
      WriteFile(writeEnd, bytes.data(), static_cast<DWORD>(length), &written, nullptr) && written == length;
  *error = done ? 0 : GetLastError();
  return done;
}

std::string printedLine(std::size_t bytes) {
  return "printed " + std::to_string(bytes) + " bytes after the application ended";
}

// More pipes than the bound, all held by their writers: one thread reads them
// all, the oldest over the bound are let go (their writes fail), every other
// is read until its writer goes, more than one read's worth, and counted; then
// the host is back to the handles it had.
TEST(LingeringOutput, OneThreadReadsEveryPipeUntilItsWriterGoesAndLetsTheOldestGoOverTheBound) {
  std::string dir = zaq_test::buildPath("winservice_linger");
  zaq_test::removeTree(dir);
  zaq_test::makeDirectories(dir);
  std::string logPath = dir + "\\service.log";
  hostState.debugLogFile = std::fopen(logPath.c_str(), "ab");
  ASSERT_NE(hostState.debugLogFile, nullptr);
  DWORD error = 0;

  // The first hand-over makes the thread; the count goes on from what the
  // run's reader read after the end.
  RunPipe first = makeRunPipe();
  ASSERT_TRUE(zaq::keepReadingAfterEnd(first.readEnd, 5));
  EXPECT_TRUE(print(first.writeEnd, 10, &error)) << error;
  CloseHandle(first.writeEnd);
  ASSERT_TRUE(zaq_test::waitForOccurrences(logPath, printedLine(15), 1, 5000));
  DWORD threads = zaq_test::threadCount();
  DWORD handles = zaq_test::handleCount();

  constexpr std::size_t OVER = 3;
  std::vector<RunPipe> pipes(zaq::LINGERING_PIPES_MAX + OVER);
  for (RunPipe& pipe : pipes) {
    pipe = makeRunPipe();
    ASSERT_NE(pipe.writeEnd, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(zaq::keepReadingAfterEnd(pipe.readEnd, 0));
  }
  EXPECT_TRUE(zaq_test::waitForOccurrences(logPath, "the oldest is no longer read", OVER, 5000));
  EXPECT_EQ(zaq_test::threadCount(), threads);
  for (std::size_t i = 0; i < pipes.size(); ++i) {
    std::size_t length = (i + 1) * 100;  // up to 6.6 KB: two reads for the last ones
    bool printed = print(pipes[i].writeEnd, length, &error);
    if (i < OVER) {
      EXPECT_FALSE(printed) << i;
      EXPECT_EQ(error, static_cast<DWORD>(ERROR_NO_DATA)) << i;
    } else {
      EXPECT_TRUE(printed) << i << " error " << error;
    }
    CloseHandle(pipes[i].writeEnd);
  }
  EXPECT_TRUE(zaq_test::waitForOccurrences(logPath, " bytes after the application ended",
                                           1 + pipes.size() - OVER, 10000));
  std::string log = zaq_test::readFile(logPath);
  for (std::size_t i = OVER; i < pipes.size(); ++i)
    EXPECT_EQ(zaq_test::occurrences(log, printedLine((i + 1) * 100)), 1u) << i;
  for (int i = 0; i < 50 && zaq_test::handleCount() != handles; ++i) Sleep(100);
  EXPECT_EQ(zaq_test::handleCount(), handles);
  std::fclose(hostState.debugLogFile);
  hostState.debugLogFile = nullptr;
  zaq_test::removeTree(dir);
}

}  // namespace
