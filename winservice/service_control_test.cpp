#include "winservice/service_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"
#include "winservice/service_state.h"
#include "winservice/service_stop.h"

namespace {

using zaq::hostState;

// The handlers run without a supervision and without a status handle; what
// they asked for shows in the stop flag and event, the "shutdown" file, the
// debug log and the status record.
class ControlHandlers : public ::testing::Test {
 public:
  std::string dir = zaq_test::buildPath("winservice_control");
  std::string startDir;
  std::string logPath = dir + "\\service.log";

  void SetUp() override {
    startDir = zaq_test::enterFreshDirectory(dir);
    hostState = zaq::ServiceHostState{};
    hostState.shutdownFilePath = dir + "\\shutdown";
  }
  void TearDown() override {
    if (hostState.debugLogFile != nullptr) std::fclose(hostState.debugLogFile);
    SetCurrentDirectoryA(startDir.c_str());
    hostState = zaq::ServiceHostState{};
    zaq::resetStopRequests();
    zaq_test::removeTree(dir);
  }
  // A fresh debug log, a running service that no stop has reached.
  void reset() {
    if (hostState.debugLogFile != nullptr) std::fclose(hostState.debugLogFile);
    DeleteFileA(logPath.c_str());
    DeleteFileA(hostState.shutdownFilePath.c_str());
    // Binary, so that the lines read back end in "\n" as written.
    hostState.debugLogFile = std::fopen(logPath.c_str(), "ab");
    zaq::resetStopRequests();
    hostState.serviceStatus.dwCurrentState = SERVICE_RUNNING;
    hostState.serviceStatus.dwCheckPoint = 0;
  }
  std::string debugLog() const { return zaq_test::readFile(logPath); }
  // What a request leaves when it asked (or, with asked false, when nothing
  // was asked), with the handler's own line first.
  void expectAsked(bool asked, const char* line) {
    std::string log = debugLog();
    EXPECT_EQ(zaq::stopRequested(), asked);
    EXPECT_EQ(WaitForSingleObject(zaq::hostSync.stopEvent, 0), asked ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
    EXPECT_EQ(zaq_test::exists(hostState.shutdownFilePath), asked);
    EXPECT_EQ(hostState.serviceStatus.dwCurrentState,
              static_cast<DWORD>(asked ? SERVICE_STOP_PENDING : SERVICE_RUNNING));
    // Only the service thread ends the stop.
    EXPECT_EQ(log.find("Application is stopped."), std::string::npos) << log;
    EXPECT_EQ(log.find("SERVICE_STOPPED"), std::string::npos) << log;
    if (!asked && line == nullptr) {
      EXPECT_EQ(log, "");
    } else if (!asked) {
      // The line and nothing else.
      ASSERT_GT(log.size(), 0u);
      EXPECT_EQ(log.substr(log.find(']')), std::string("] ") + line + "\n");
    } else {
      std::size_t at = 0;
      for (std::string expected : {std::string(line), std::string("STATE TRANSITION -> SERVICE_STOP_PENDING"),
                                   std::string("Creating shutdown file.")}) {
        at = log.find("] " + expected + "\n", at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << expected << "\n" << log;
      }
    }
  }
};

// A stop, a system shutdown and its preshutdown notice ask for the stop and
// return at once; an interrogation only leaves its debug-log line, and other
// controls are not implemented.
TEST_F(ControlHandlers, ServiceControlAsksOnStopShutdownAndPreshutdownAndOnlyNotesAnInterrogation) {
  struct Case {
    DWORD control;
    const char* line;
    bool stops;
    DWORD result;
  } cases[] = {
      {SERVICE_CONTROL_STOP, "SERVICE EVENT:  Stop requested", true, NO_ERROR},
      {SERVICE_CONTROL_SHUTDOWN, "SERVICE EVENT:  Stop requested via System Shutdown", true, NO_ERROR},
      {SERVICE_CONTROL_PRESHUTDOWN, "SERVICE EVENT:  Stop requested via Preshutdown", true, NO_ERROR},
      {SERVICE_CONTROL_INTERROGATE, "SERVICE EVENT:  Control Interrogation", false, NO_ERROR},
      {SERVICE_CONTROL_PAUSE, nullptr, false, ERROR_CALL_NOT_IMPLEMENTED},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.control);
    reset();
    EXPECT_EQ(zaq::ServiceControl(c.control, 0, nullptr, nullptr), c.result);
    expectAsked(c.stops, c.line);
  }
}

struct ConsoleCase {
  int debugMode;
  DWORD type;
  const char* line;  // null: passed on, no stop
};

// A console handler that asks for the stop returns at once after Ctrl+C and
// Ctrl+Break; after the events that let the system end the process as soon
// as it returns, only once the service has made its final report.
void expectConsoleCase(BOOL(WINAPI* handler)(DWORD), const ConsoleCase& c, ControlHandlers* test) {
  SCOPED_TRACE("debugMode " + std::to_string(c.debugMode) + ", event " + std::to_string(c.type));
  hostState.debugMode = c.debugMode;
  bool waits = c.line != nullptr && c.type != CTRL_C_EVENT && c.type != CTRL_BREAK_EVENT;
  std::atomic<bool> returned{false};
  BOOL result = FALSE;
  std::thread console([&] {
    result = handler(c.type);
    returned = true;
  });
  for (int i = 0; i < 50 && !returned; ++i) Sleep(10);
  EXPECT_EQ(returned.load(), !waits);
  zaq::announceServiceEnd();  // the service's final report
  console.join();
  EXPECT_EQ(result != FALSE, c.line != nullptr);
  test->expectAsked(c.line != nullptr, c.line);
}

TEST_F(ControlHandlers, LogoffHandlerStopsOnlyOnShutdownUnlessDebugging) {
  std::vector<ConsoleCase> cases = {
      {0, CTRL_C_EVENT, nullptr},
      {0, CTRL_BREAK_EVENT, nullptr},
      {0, CTRL_CLOSE_EVENT, nullptr},
      {0, CTRL_LOGOFF_EVENT, nullptr},
      {0, 3, nullptr},
      {0, CTRL_SHUTDOWN_EVENT, "CONTROL EVENT:  Stop requested via System Shutdown"},
      {1, CTRL_C_EVENT, "CONTROL EVENT:  Stop requested via Ctrl+C"},
      {1, CTRL_BREAK_EVENT, "CONTROL EVENT:  Stop requested via Ctrl+Break"},
      {1, CTRL_CLOSE_EVENT, "CONTROL EVENT:  Stop requested via Close Event"},
      {1, CTRL_LOGOFF_EVENT, "CONTROL EVENT:  Stop requested via Logoff Event"},
      {1, CTRL_SHUTDOWN_EVENT, "CONTROL EVENT:  Stop requested via System Shutdown"},
      {1, 7, nullptr},
  };
  for (const ConsoleCase& c : cases) {
    reset();
    expectConsoleCase(zaq::logoffHandler, c, this);
  }
}

TEST_F(ControlHandlers, ControlHandlerStopsOnCtrlCAndCtrlBreakOnly) {
  std::vector<ConsoleCase> cases = {
      {1, CTRL_C_EVENT, "CONSOLE EVENT:  Stop requested via Ctrl+C"},
      {1, CTRL_BREAK_EVENT, "CONSOLE EVENT:  Stop requested via Ctrl+Break"},
      {1, CTRL_CLOSE_EVENT, nullptr},
      {1, CTRL_LOGOFF_EVENT, nullptr},
      {1, CTRL_SHUTDOWN_EVENT, nullptr},
  };
  for (const ConsoleCase& c : cases) {
    reset();
    expectConsoleCase(zaq::ControlHandler, c, this);
  }
}

std::size_t countOf(const std::string& text, const std::string& token) {
  std::size_t count = 0;
  for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + 1)) ++count;
  return count;
}

// Requests from the manager and the console at the same moment ask once; a
// request after the supervision has ended asks for nothing: no file is left
// behind and no state follows the service's end.
TEST_F(ControlHandlers, TheStopIsAskedForOnceAndNotAfterTheSupervisionsEnd) {
  reset();
  hostState.debugMode = 1;
  std::vector<std::thread> requesters;
  for (int i = 0; i < 4; ++i) {
    requesters.emplace_back([] { zaq::ServiceControl(SERVICE_CONTROL_STOP, 0, nullptr, nullptr); });
    requesters.emplace_back([] { zaq::logoffHandler(CTRL_C_EVENT); });
  }
  for (std::thread& requester : requesters) requester.join();
  std::string log = debugLog();
  EXPECT_EQ(countOf(log, "] Creating shutdown file.\n"), 1u) << log;
  EXPECT_EQ(countOf(log, "] STATE TRANSITION -> SERVICE_STOP_PENDING\n"), 1u) << log;
  EXPECT_EQ(hostState.serviceStatus.dwCheckPoint, 1u);
  EXPECT_TRUE(zaq::endStopRequests());  // returns: the request was complete

  reset();
  EXPECT_FALSE(zaq::endStopRequests());
  EXPECT_EQ(zaq::ServiceControl(SERVICE_CONTROL_STOP, 0, nullptr, nullptr), static_cast<DWORD>(NO_ERROR));
  EXPECT_TRUE(zaq::logoffHandler(CTRL_C_EVENT));
  EXPECT_FALSE(zaq_test::exists(hostState.shutdownFilePath));
  EXPECT_EQ(hostState.serviceStatus.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  log = debugLog();
  EXPECT_EQ(log.find("Creating shutdown file."), std::string::npos) << log;
  EXPECT_EQ(log.find("SERVICE_STOP_PENDING"), std::string::npos) << log;
}

}  // namespace
