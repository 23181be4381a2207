#include "winservice/service_messages.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"
#include "winservice/message_table.h"
#include "winservice/service_names.h"
#include "winservice/service_state.h"
#include "zel/catalog_test_support.h"

namespace {

using zaq::hostState;
using zaq_test::readFile;

// "name stamp service Line: N, function, text" followed by the record's line
// end (CR LF in text mode).
std::string recordPattern(const std::string& name, int line, const std::string& function,
                          const std::string& text) {
  return name + " [A-Z][a-z]{2} [A-Z][a-z]{2} \\d{2} \\d{2}:\\d{2}:\\d{2} \\d{4} service Line: " +
         std::to_string(line) + ", " + function + ", " + text + "\r\n";
}

class ServiceMessages : public ::testing::Test {
 protected:
  std::string dir = zaq_test::buildPath("winservice_messages");
  std::string messageLog = dir + "\\msgWUX_zaqservice3.log";
  std::string traceLog = dir + "\\traceWUX_zaqservice3.log";
  void SetUp() override {
    zaq_test::removeTree(dir);
    zaq_test::makeDirectories(dir);
    hostState = zaq::ServiceHostState{};
    hostState.serviceName = "zaqservice3";
    zaq::copyBounded(hostState.displayName, sizeof hostState.displayName, "VQM Client - 3");
    hostState.messageLogPath = messageLog;
  }
  void TearDown() override {
    hostState = zaq::ServiceHostState{};
    zaq_test::removeTree(dir);
  }
};

TEST_F(ServiceMessages, LoggedAsInformationWithTheLineOfTheCall) {
  hostState.traceLogPath = traceLog;
  const int line = __LINE__ + 1;
  zaq::emitMessage(zaq::MSG_LOGGED_INFO, "ServiceStart", zaq::MSG_STARTED, hostState.displayName);
  std::regex expected(
      recordPattern("VQM Client - 3", line, "ServiceStart", "VQM Client - 3 has started\\.\r\n"));
  EXPECT_TRUE(std::regex_match(readFile(messageLog), expected)) << readFile(messageLog);
  EXPECT_TRUE(std::regex_match(readFile(traceLog), expected)) << readFile(traceLog);
}

TEST_F(ServiceMessages, WithoutTracingOnlyTheMessageLog) {
  testing::internal::CaptureStdout();
  const int line = __LINE__ + 1;
  zaq::emitMessage(zaq::MSG_LOGGED_ERROR | zaq::MSG_PRINTED, "CmdRemoveService",
                   zaq::MSG_DELETE_SERVICE_FAILED, "Access denied. (5)");
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Windows DeleteService failed - Access denied. (5)\n");
  std::regex expected(recordPattern("VQM Client - 3", line, "CmdRemoveService",
                                    "Windows DeleteService failed - Access denied\\. \\(5\\)\r\n"));
  EXPECT_TRUE(std::regex_match(readFile(messageLog), expected)) << readFile(messageLog);
  EXPECT_FALSE(zaq_test::exists(traceLog));
  zaq::traceRecord("CmdRemoveService()", "ENTRY");
  EXPECT_FALSE(zaq_test::exists(traceLog));
}

TEST_F(ServiceMessages, PrintedOnlyTouchesNoLog) {
  testing::internal::CaptureStdout();
  zaq::emitMessage(zaq::MSG_PRINTED, "CmdHelp", zaq::MSG_HELP_DEBUG, "zaqservice3");
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "zaqservice3 -debug [params]   to run as a console application for debugging\n");
  EXPECT_FALSE(zaq_test::exists(messageLog));
}

TEST_F(ServiceMessages, MainNamesItsRecordsWithArgumentZero) {
  hostState.traceLogPath = traceLog;
  const int line = __LINE__ + 1;
  zaq::emitMessageAs("C:\\x\\zaqservice3.exe", zaq::MSG_LOGGED_ERROR, "main", zaq::MSG_DISPATCHER_FAILED);
  std::regex expected(recordPattern("C:\\\\x\\\\zaqservice3\\.exe", line, "main",
                                    "Windows StartServiceCtrlDispatcher failed\\."));
  EXPECT_TRUE(std::regex_match(readFile(messageLog), expected)) << readFile(messageLog);
}

TEST_F(ServiceMessages, TraceRecordsNameTheServiceOrTheGivenName) {
  hostState.traceLogPath = traceLog;
  const int line = __LINE__ + 1;
  zaq::traceRecord("startServiceApp", "ENTRY");
  zaq::traceRecord("killServiceApp", "EXIT - FALSE", hostState.displayName);
  std::regex expected(recordPattern("zaqservice3", line, "startServiceApp", "ENTRY") +
                      recordPattern("VQM Client - 3", line + 1, "killServiceApp", "EXIT - FALSE"));
  EXPECT_TRUE(std::regex_match(readFile(traceLog), expected)) << readFile(traceLog);
  EXPECT_FALSE(zaq_test::exists(messageLog));
}

TEST_F(ServiceMessages, ALongMessageKeepsItsEndEverywhere) {
  hostState.traceLogPath = traceLog;
  std::string command = "C:\\jvm\\java.exe 100% " + std::string(40000, 'c');
  testing::internal::CaptureStdout();
  zaq::emitMessage(zaq::MSG_LOGGED_ERROR | zaq::MSG_PRINTED, "startServiceApp",
                   zaq::MSG_CREATE_PROCESS_FAILED, command.c_str(), 206);
  std::fflush(stdout);
  std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.size(), 4095u);
  EXPECT_EQ(printed.rfind("Windows CreateProcess for command 'C:\\jvm\\java.exe 100% ccc", 0), 0u);
  EXPECT_EQ(printed.substr(printed.size() - 28), "...' failed. Error code 206\n");
  // Each record holds the whole message, its end included.
  for (const std::string& log : {messageLog, traceLog}) {
    std::string content = readFile(log);
    EXPECT_NE(content.find(", startServiceApp, " + printed.substr(0, printed.size() - 1) + "\r\n"),
              std::string::npos)
        << log;
  }
  hostState.messageLogPath = messageLog + "2";
  zaq::emitMessage(zaq::MSG_LOGGED_ERROR, "startServiceApp", zaq::MSG_CREATE_PROCESS_FAILED, "java.exe", 87);
  EXPECT_NE(readFile(messageLog + "2").find("command 'java.exe' failed. Error code 87\r\n"),
            std::string::npos);
}

TEST_F(ServiceMessages, CatalogTextsReplaceTheWordingOnly) {
  std::string catalog = dir + "\\winServCMessages.cat";
  zaq_test::writeFile(catalog, zeltest::buildCatalog({{2,
                                                       {{7, "%-2147483647s a demarre.\n"},
                                                        {13, "Debogage de %2147483647s...\n"},
                                                        {14, "%-20s est arrete.\n"},
                                                        {19, "Erreur %i pour '%s'\n"},
                                                        {20, "%s %s %s %s\n"}}}}));
  hostState.messageCatalog = zel::catopen(catalog.c_str(), 0);
  ASSERT_NE(hostState.messageCatalog, zel::CAT_INVALID_HANDLE);
  testing::internal::CaptureStdout();
  // Huge widths would run printf for seconds and crash it, conversions in
  // another order or number would read arguments that are not there: the
  // default text stands in.
  zaq::emitMessage(zaq::MSG_PRINTED, "ServiceStart", zaq::MSG_STARTED, hostState.displayName);
  zaq::emitMessage(zaq::MSG_PRINTED, "CmdDebugService", zaq::MSG_DEBUGGING, hostState.displayName);
  zaq::emitMessage(zaq::MSG_PRINTED, "ServiceStart", zaq::MSG_STOPPED, hostState.displayName);
  zaq::emitMessage(zaq::MSG_PRINTED, "startServiceApp", zaq::MSG_CREATE_PROCESS_FAILED, "java.exe", 2);
  zaq::emitMessage(zaq::MSG_PRINTED, "killServiceApp", zaq::MSG_TERMINATE_PROCESS_FAILED, "zaqservice3");
  zaq::emitMessage(zaq::MSG_PRINTED, "CmdHelp", zaq::MSG_HELP_INSTALL, "zaqservice3");
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "VQM Client - 3 has started.\n"
            "Debugging the VQM Client - 3...\n"
            "VQM Client - 3       est arrete.\n"
            "Windows CreateProcess for command 'java.exe' failed. Error code 2\n"
            "Windows TerminateProcess failed for zaqservice3\n"
            "zaqservice3 -install          to install the service\n");
}

}  // namespace
