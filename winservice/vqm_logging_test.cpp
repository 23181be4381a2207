#include "winservice/vqm_logging.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"

namespace {

using zaq_test::buildPath;
using zaq_test::readFile;

class LogRecords : public ::testing::Test {
 protected:
  std::string dir = buildPath("winservice_logs");
  void SetUp() override {
    zaq_test::removeTree(dir);
    zaq_test::makeDirectories(dir);
  }
  void TearDown() override { zaq_test::removeTree(dir); }
};

// The names are log_format's (log_format_test.cpp); this makes their directory.
TEST_F(LogRecords, BuildLogFileNameCreatesTheDirectory) {
  for (zaq::LogKind kind : {zaq::LOG_KIND_TRACE, zaq::LOG_KIND_MESSAGE}) {
    std::string directory = zaq::logFileDirectory(kind);
    zaq_test::removeTree(directory.substr(0, directory.size() - 1));
    zaq::buildLogFileName("zaqservice", kind);
    EXPECT_TRUE(zaq_test::exists(directory)) << directory;
  }
}

TEST_F(LogRecords, DirectoryChainIsCreatedFromTheLeft) {
  std::string chain = dir + "\\a\\b b\\c\\";
  zaq::createDirectoryChain(chain.c_str());
  EXPECT_TRUE(zaq_test::exists(dir + "\\a\\b b\\c"));
  // Existing directories fail harmlessly.
  zaq::createDirectoryChain(chain.c_str());
  EXPECT_TRUE(zaq_test::exists(dir + "\\a\\b b\\c"));
}

TEST_F(LogRecords, RecordFormatAndAppend) {
  std::string log = dir + "\\msgWUX_test.log";
  zaq_test::writeFile(log, "earlier content\n");
  zaq::writeLogRecord(log.c_str(), "service", 123, "VQM Client", "ServiceStart", "50% of %s done\n",
                      zaq::LOG_TRACE);
  zaq::writeLogRecord(log.c_str(), "service", 7, "VQM Client", "ServiceStop", "EXIT", zaq::LOG_TRACE);
  std::string content = readFile(log);
  // Text mode: each line end is written as CR LF.
  std::regex expected(
      "earlier content\n"
      "VQM Client [A-Z][a-z]{2} [A-Z][a-z]{2} \\d{2} \\d{2}:\\d{2}:\\d{2} \\d{4} service Line: 123, "
      "ServiceStart, "
      "50% of %s done\r\n\r\n"
      "VQM Client [A-Z][a-z]{2} [A-Z][a-z]{2} \\d{2} \\d{2}:\\d{2}:\\d{2} \\d{4} service Line: 7, "
      "ServiceStop, "
      "EXIT\r\n");
  EXPECT_TRUE(std::regex_match(content, expected)) << content;
}

// The service thread, the requester of a stop and the console handlers write
// records at the same moment, each with its own open: every record reaches the
// file whole and none overwrites another.
TEST_F(LogRecords, RecordsWrittenAtTheSameMomentAreEachKeptWhole) {
  constexpr int WRITERS = 8;
  constexpr int RECORDS = 400;
  std::string log = dir + "\\msgWUX_threads.log";
  std::atomic<int> ready{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < WRITERS; ++w) {
    writers.emplace_back([&, w] {
      std::string tail(200, static_cast<char>('a' + w));
      ++ready;
      while (ready < WRITERS) Sleep(0);
      for (int r = 1; r <= RECORDS; ++r) {
        std::string message = "writer " + std::to_string(w) + " " + tail;
        zaq::writeLogRecord(log.c_str(), "service", r, "VQM Client", "ServiceStart", message.c_str(),
                            zaq::LOG_TRACE);
      }
    });
  }
  for (std::thread& writer : writers) writer.join();
  std::regex whole(
      "VQM Client [A-Z][a-z]{2} [A-Z][a-z]{2} \\d{2} \\d{2}:\\d{2}:\\d{2} \\d{4} service Line: (\\d+), "
      "ServiceStart, writer (\\d) ([a-h])\\3{199}\r");
  std::set<std::string> seen;
  std::istringstream lines(readFile(log));
  int broken = 0;
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (std::regex_match(line, match, whole) && match[3].str()[0] == 'a' + std::stoi(match[2].str()))
      seen.insert(match[2].str() + ":" + match[1].str());
    else
      ++broken;
  }
  EXPECT_EQ(broken, 0);
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(WRITERS * RECORDS));
}

TEST_F(LogRecords, UnopenableFileIsReportedOnStandardOutput) {
  std::string log = dir + "\\missing\\msgWUX_x.log";
  testing::internal::CaptureStdout();
  zaq::writeLogRecord(log.c_str(), "service", 1, "n", "f", "text", zaq::LOG_TRACE);
  std::fflush(stdout);
  std::string output = testing::internal::GetCapturedStdout();
  EXPECT_EQ(output, "Failure opening log file: " + log + ".\n");
  EXPECT_FALSE(zaq_test::exists(log));
}

}  // namespace
