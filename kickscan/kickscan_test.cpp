// kickscan under Wine, as an operator's debug-output viewer would see it: the
// test runs kickscan.exe as a debuggee, collects its OutputDebugString texts and
// its exit code, and plays the agent's rescan listener on 127.0.0.1:40500.
// Winsock first: it must precede <windows.h>.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct KickscanRun {
  DWORD exitCode = 12345;
  std::vector<std::string> debugTexts;
  bool finished = false;
};

std::string readDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  if (info.fUnicode || info.nDebugStringLength == 0) return {};
  std::string text(info.nDebugStringLength, '\0');
  SIZE_T got = 0;
  if (!ReadProcessMemory(process, info.lpDebugStringData, text.data(), text.size(), &got)) return {};
  text.resize(got);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

// Runs kickscan with the given argument text as a debuggee until it exits.
KickscanRun runKickscan(const std::string& arguments) {
  KickscanRun run;
  std::string commandLine = std::string("\"") + KICKSCAN_EXE + "\"" + arguments;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr,
                      nullptr, &startup, &child)) {
    ADD_FAILURE() << "CreateProcess failed: " << GetLastError();
    return run;
  }
  for (;;) {
    DEBUG_EVENT event;
    if (!WaitForDebugEvent(&event, 60000)) {
      ADD_FAILURE() << "kickscan did not finish within 60 s";
      TerminateProcess(child.hProcess, 1);
      break;
    }
    DWORD status = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT:
        run.debugTexts.push_back(readDebugString(child.hProcess, event.u.DebugString));
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The loader's breakpoint is ours to swallow; anything else is kickscan's.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT)
          status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        run.exitCode = event.u.ExitProcess.dwExitCode;
        run.finished = true;
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    if (run.finished) break;
  }
  WaitForSingleObject(child.hProcess, 10000);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return run;
}

// A one-connection stand-in for the agent's rescan listener.
struct Listener {
  SOCKET server = INVALID_SOCKET;
  std::thread worker;
  std::string received;
  bool sawEndOfStream = false;
  int replyBytesSent = 0;

  bool start(int replyBytes) {
    server = socket(AF_INET, SOCK_STREAM, 0);
    if (server == INVALID_SOCKET) return false;
    BOOL reuse = TRUE;
    setsockopt(server, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(40500);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return false;
    if (listen(server, 1) != 0) return false;
    worker = std::thread([this, replyBytes] { serveOne(replyBytes); });
    return true;
  }

  void serveOne(int replyBytes) {
    SOCKET client = accept(server, nullptr, nullptr);
    if (client == INVALID_SOCKET) return;
    char buffer[64];
    for (;;) {
      int got = recv(client, buffer, sizeof buffer, 0);
      if (got == 0) {
        sawEndOfStream = true;
        break;
      }
      if (got < 0) break;
      received.append(buffer, got);
    }
    std::string reply(replyBytes, 'x');
    for (size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<char>('a' + i % 26);
    size_t offset = 0;
    while (offset < reply.size()) {
      int sent = send(client, reply.data() + offset, static_cast<int>(reply.size() - offset), 0);
      if (sent <= 0) break;
      offset += sent;
    }
    replyBytesSent = static_cast<int>(offset);
    closesocket(client);
  }

  void stop() {
    if (worker.joinable()) worker.join();
    if (server != INVALID_SOCKET) closesocket(server);
    server = INVALID_SOCKET;
  }
  ~Listener() { stop(); }
};

class KickscanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override { WSACleanup(); }
};

struct ListenerCase {
  const char* name;
  int replyBytes;
  const char* arguments;
};

void PrintTo(const ListenerCase& c, std::ostream* os) {
  *os << c.name;
}

class KickscanListenerTest : public KickscanTest, public ::testing::WithParamInterface<ListenerCase> {};

TEST_P(KickscanListenerTest, SendsRescanHalfClosesAndDrainsTheReply) {
  const ListenerCase& c = GetParam();
  Listener listener;
  ASSERT_TRUE(listener.start(c.replyBytes));
  KickscanRun run = runKickscan(c.arguments);
  listener.stop();
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_EQ(listener.received, "rescan");
  EXPECT_TRUE(listener.sawEndOfStream) << "no half-close after the request";
  EXPECT_EQ(listener.replyBytesSent, c.replyBytes) << "kickscan stopped reading the reply early";
  EXPECT_TRUE(run.debugTexts.empty()) << run.debugTexts.front();
}

// Replies that fit the loopback socket buffers are sent in full whether or not
// kickscan reads them; 16 MB does not fit, so the listener's send completes only
// when kickscan drains to the end (a socket closed with unread data is answered
// with a reset).
INSTANTIATE_TEST_SUITE_P(
    Replies, KickscanListenerTest,
    ::testing::Values(ListenerCase{"NoReply", 0, ""}, ListenerCase{"ShortReply", 17, ""},
                      ListenerCase{"ExactlyOnePiece", 256, ""}, ListenerCase{"ManyPieces", 70000, ""},
                      ListenerCase{"LargerThanTheSocketBuffers", 16 << 20, ""},
                      ListenerCase{"ArgumentsIgnored", 300, " -x /help rescan 127.0.0.2 99"}),
    [](const ::testing::TestParamInfo<ListenerCase>& info) { return std::string(info.param.name); });

// A script can tell that no rescan was asked for: the exit code is the
// refusal's Winsock error (WSAECONNREFUSED).
TEST_F(KickscanTest, NoListenerReportsTheRefusalOnceAndExitsWithItsCode) {
  KickscanRun run = runKickscan("");
  ASSERT_TRUE(run.finished);
  EXPECT_EQ(run.exitCode, 10061u);
  ASSERT_EQ(run.debugTexts.size(), 1u);
  EXPECT_EQ(run.debugTexts[0], "Connecting to the server failed. Error: 10061");
}

}  // namespace
