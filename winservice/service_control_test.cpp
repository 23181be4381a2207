#include "winservice/service_control.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/windows_files.h"
#include "winservice/service_state.h"

namespace {

using zaq::hostState;

// The handlers run without a child and without a status handle; what they did
// shows in the stop flag, the debug log and the status record.
class ControlHandlers : public ::testing::Test {
 protected:
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
    zaq_test::removeTree(dir);
  }
  // A fresh debug log, a running service that no stop has reached.
  void reset() {
    if (hostState.debugLogFile != nullptr) std::fclose(hostState.debugLogFile);
    DeleteFileA(logPath.c_str());
    // Binary, so that the lines read back end in "\n" as written.
    hostState.debugLogFile = std::fopen(logPath.c_str(), "ab");
    hostState.stopRequested = 0;
    hostState.stopBegun = 0;
    hostState.serviceStatus.dwCurrentState = SERVICE_RUNNING;
  }
  std::string debugLog() const { return zaq_test::readFile(logPath); }
};

std::size_t countOf(const std::string& text, const std::string& token) {
  std::size_t count = 0;
  for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + 1)) ++count;
  return count;
}

void expectInOrder(const std::string& text, const std::vector<std::string>& lines) {
  std::size_t at = 0;
  for (const std::string& line : lines) {
    at = text.find(line, at);
    ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << text;
  }
}

struct ConsoleCase {
  int debugMode;
  DWORD type;
  const char* line;  // null: passed on, no stop
};

void expectConsoleCase(BOOL(WINAPI* handler)(DWORD), const ConsoleCase& c, const std::string& logPath) {
  SCOPED_TRACE("debugMode " + std::to_string(c.debugMode) + ", event " + std::to_string(c.type));
  hostState.debugMode = c.debugMode;
  EXPECT_EQ(handler(c.type) != FALSE, c.line != nullptr);
  std::string log = zaq_test::readFile(logPath);
  if (c.line != nullptr) {
    // The handler returned with the stop over.
    EXPECT_EQ(hostState.stopRequested, 1);
    EXPECT_EQ(hostState.serviceStatus.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_NE(log.find("] Application is stopped.\n"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("] ") + c.line + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("] Creating shutdown file.\n"), std::string::npos) << log;
  } else {
    EXPECT_EQ(hostState.stopRequested, 0);
    EXPECT_EQ(hostState.serviceStatus.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(log, "");
  }
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
    expectConsoleCase(zaq::logoffHandler, c, logPath);
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
    expectConsoleCase(zaq::ControlHandler, c, logPath);
  }
}

// A stop, a system shutdown and its preshutdown notice set the stop in motion;
// an interrogation only leaves its debug-log line, and other controls are not
// implemented.
TEST_F(ControlHandlers, ServiceControlStopsOnStopShutdownAndPreshutdownAndOnlyNotesAnInterrogation) {
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
    zaq::endStops();  // waits for the stop thread, when there is one
    std::string log = debugLog();
    EXPECT_EQ(hostState.stopRequested, c.stops ? 1 : 0);
    EXPECT_EQ(hostState.serviceStatus.dwCurrentState,
              static_cast<DWORD>(c.stops ? SERVICE_STOPPED : SERVICE_RUNNING));
    if (c.line == nullptr) {
      EXPECT_EQ(log, "");
    } else if (c.stops) {
      expectInOrder(log, {std::string("] ") + c.line + "\n", "] STATE TRANSITION -> SERVICE_STOP_PENDING\n",
                          "] Creating shutdown file.\n", "] Application is stopped.\n",
                          "] STATE TRANSITION -> SERVICE_STOPPED\n"});
    } else {
      // The line and nothing else: no state transition was reported.
      ASSERT_GT(log.size(), 0u);
      EXPECT_EQ(log.substr(log.find(']')), std::string("] ") + c.line + "\n");
    }
  }
}

// A second stop request, from the manager or the console, while the stop runs
// joins it: the sequence runs once.
TEST_F(ControlHandlers, TheStopSequenceRunsOnceWhoeverAsks) {
  reset();
  hostState.debugMode = 1;
  EXPECT_EQ(zaq::ServiceControl(SERVICE_CONTROL_STOP, 0, nullptr, nullptr), static_cast<DWORD>(NO_ERROR));
  EXPECT_EQ(zaq::ServiceControl(SERVICE_CONTROL_PRESHUTDOWN, 0, nullptr, nullptr),
            static_cast<DWORD>(NO_ERROR));
  EXPECT_TRUE(zaq::logoffHandler(CTRL_C_EVENT));
  zaq::endStops();
  std::string log = debugLog();
  EXPECT_EQ(countOf(log, "] Creating shutdown file.\n"), 1u) << log;
  EXPECT_EQ(countOf(log, "] Application is stopped.\n"), 1u) << log;
  // After the supervision's end no stop begins.
  reset();
  zaq::endStops();
  zaq::ServiceControl(SERVICE_CONTROL_STOP, 0, nullptr, nullptr);
  EXPECT_TRUE(zaq::logoffHandler(CTRL_SHUTDOWN_EVENT));
  EXPECT_EQ(debugLog().find("Creating shutdown file."), std::string::npos) << debugLog();
}

}  // namespace
