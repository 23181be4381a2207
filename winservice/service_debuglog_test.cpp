#include "winservice/service_debuglog.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"
#include "winservice/service_names.h"
#include "winservice/service_state.h"

namespace {

using zaq::hostState;

class DebugLog : public ::testing::Test {
 protected:
  std::string dir = zaq_test::buildPath("winservice_debuglog");
  std::string startDir;
  void SetUp() override {
    startDir = zaq_test::enterFreshDirectory(dir);
    hostState = zaq::ServiceHostState{};
    zaq::copyBounded(hostState.workingDirectory, sizeof hostState.workingDirectory, dir);
  }
  void TearDown() override {
    if (hostState.debugLogFile != nullptr) std::fclose(hostState.debugLogFile);
    hostState = zaq::ServiceHostState{};
    SetCurrentDirectoryA(startDir.c_str());
    zaq_test::removeTree(dir);
  }
  std::vector<std::string> lines() {
    std::vector<std::string> result;
    std::istringstream in(zaq_test::readFile(dir + "\\service.log"));
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
  }
};

TEST_F(DebugLog, OffWithoutTheMarker) {
  zaq::openDebugLog();
  EXPECT_EQ(hostState.debugLogFile, nullptr);
  zaq::debugLog("nothing is written");
  EXPECT_FALSE(zaq_test::exists(dir + "\\service.log"));
}

TEST_F(DebugLog, MarkerOpensAndAppends) {
  zaq_test::writeFile(dir + "\\debugservice", "");
  zaq_test::writeFile(dir + "\\service.log", "earlier line\r\n");
  zaq::openDebugLog();
  ASSERT_NE(hostState.debugLogFile, nullptr);
  zaq::debugLog("Starting application");
  zaq::debugLog("100% of %s");
  std::vector<std::string> got = lines();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], "earlier line\r");
  std::regex format("\\[m\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\] (.*)\r");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(got[1], match, format)) << got[1];
  EXPECT_EQ(match[1], "Starting application");
  ASSERT_TRUE(std::regex_match(got[2], match, format)) << got[2];
  EXPECT_EQ(match[1], "100% of %s");
}

TEST_F(DebugLog, LongTextIsCutToOneLine) {
  zaq_test::writeFile(dir + "\\debugservice", "");
  zaq::openDebugLog();
  ASSERT_NE(hostState.debugLogFile, nullptr);
  zaq::debugLog(std::string(10000, 'L').c_str());
  std::vector<std::string> got = lines();
  ASSERT_EQ(got.size(), 1u);
  // 4095 characters with the line end, which text mode writes as CR LF.
  EXPECT_EQ(got[0].size(), 4095u);
  EXPECT_EQ(got[0].back(), '\r');
}

TEST_F(DebugLog, LinesOfSeveralThreadsStayWhole) {
  zaq_test::writeFile(dir + "\\debugservice", "");
  zaq::openDebugLog();
  ASSERT_NE(hostState.debugLogFile, nullptr);
  constexpr int THREADS = 4, LINES = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < THREADS; ++t)
    threads.emplace_back([t] {
      std::string text = "thread " + std::to_string(t) + " " + std::string(300, static_cast<char>('a' + t));
      for (int i = 0; i < LINES; ++i) zaq::debugLog((text + " " + std::to_string(i)).c_str());
    });
  for (std::thread& thread : threads) thread.join();
  std::regex format("\\[m\\d{2} \\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\] thread (\\d) ([a-d]{300}) (\\d+)\r");
  std::map<int, int> perThread;
  std::vector<std::string> got = lines();
  EXPECT_EQ(got.size(), static_cast<std::size_t>(THREADS * LINES));
  for (const std::string& line : got) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, format)) << line;
    int t = std::stoi(match[1]);
    EXPECT_EQ(match[2].str(), std::string(300, static_cast<char>('a' + t)));
    ++perThread[t];
  }
  for (int t = 0; t < THREADS; ++t) EXPECT_EQ(perThread[t], LINES) << t;
}

}  // namespace
