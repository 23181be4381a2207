// A stand-in for the installation's Java launcher, for the tests and the demo.
// Placed where the service host looks for java.exe, it plays the application's
// side of the contract in its working directory:
//   - appends "start <pid> <command line>" to "standin.log";
//   - keeps a "lock" file while it runs;
//   - exits with 0 within a second after "shutdown" appears;
//   - for the agent (main class VQMClient) answers the rescan request on
//     127.0.0.1:40500: reads until the half-close, logs "rescan <bytes>", replies, closes.
// A "standin.mode" file can make it misbehave, one word per line:
//   ignore-shutdown    never honour "shutdown"
//   exit-after N       exit with code 3 after N seconds
//   announce-shutdown N  create "shutdown" itself after N seconds, as the
//                      application does when it ends on its own, and exit
//                      with 0 three seconds later (unless ignore-shutdown)
//   crash              crash at once (access violation)
//   spawn-child        start a process of its own (this program with the one
//                      argument "--sleep-only", which only sleeps, for at most
//                      five minutes) and log "spawned <pid>", as an updater is started
#include <winsock2.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct Mode {
  bool ignoreShutdown = false;
  int exitAfterSeconds = -1;
  int announceAfterSeconds = -1;
  bool crash = false;
  bool spawnChild = false;
};

void logLine(const std::string& line) {
  FILE* f = std::fopen("standin.log", "a");
  if (f == nullptr) return;
  std::fprintf(f, "%s\n", line.c_str());
  std::fclose(f);
}

Mode readMode() {
  Mode mode;
  FILE* f = std::fopen("standin.mode", "r");
  if (f == nullptr) return mode;
  char line[128];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, "ignore-shutdown", 15) == 0) mode.ignoreShutdown = true;
    if (std::strncmp(line, "crash", 5) == 0) mode.crash = true;
    if (std::strncmp(line, "spawn-child", 11) == 0) mode.spawnChild = true;
    if (std::strncmp(line, "exit-after ", 11) == 0)
      mode.exitAfterSeconds = std::strtol(line + 11, nullptr, 10);
    if (std::strncmp(line, "announce-shutdown ", 18) == 0)
      mode.announceAfterSeconds = std::strtol(line + 18, nullptr, 10);
  }
  std::fclose(f);
  return mode;
}

bool fileExists(const char* name) {
  return GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES;
}

DWORD WINAPI rescanListener(LPVOID) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  SOCKET server = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(40500);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (server == INVALID_SOCKET || bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(server, 4) != 0) {
    logLine("rescan listener unavailable");
    return 1;
  }
  logLine("rescan listener ready");
  for (;;) {
    SOCKET client = accept(server, nullptr, nullptr);
    if (client == INVALID_SOCKET) continue;
    std::string request;
    char buffer[64];
    int got;
    while ((got = recv(client, buffer, sizeof buffer, 0)) > 0) request.append(buffer, got);
    logLine("rescan " + request);
    const char reply[] = "rescan started";
    send(client, reply, sizeof reply - 1, 0);
    closesocket(client);
  }
}

void spawnChild() {
  char program[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
  if (length == 0 || length >= sizeof program) return;
  std::string line = std::string("\"") + program + "\" --sleep-only";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                      &startup, &child)) {
    logLine("spawn failed " + std::to_string(GetLastError()));
    return;
  }
  logLine("spawned " + std::to_string(child.dwProcessId));
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
}

}  // namespace

int main() {
  std::string commandLine = GetCommandLineA();
  if (commandLine.size() > 13 && commandLine.compare(commandLine.size() - 13, 13, " --sleep-only") == 0) {
    Sleep(300000);
    return 0;
  }
  Mode mode = readMode();
  logLine("start " + std::to_string(GetCurrentProcessId()) + " " + commandLine);
  if (mode.crash) {
    logLine("crashing");
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
  FILE* lock = std::fopen("lock", "w");
  if (lock != nullptr) std::fclose(lock);
  if (mode.spawnChild) spawnChild();
  if (commandLine.find("com/qzr/vqm/client/VQMClient") != std::string::npos) {
    CreateThread(nullptr, 0, rescanListener, nullptr, 0, nullptr);
  }
  int announcedAt = -1;
  for (int tick = 0;; ++tick) {
    if (mode.announceAfterSeconds >= 0 && tick == mode.announceAfterSeconds * 10) {
      FILE* shutdown = std::fopen("shutdown", "w");
      if (shutdown != nullptr) std::fclose(shutdown);
      logLine("shutdown announced");
      announcedAt = tick;
    }
    // After its own announcement it takes three seconds to wind down, so that
    // the service host's once-a-second watch surely sees the file.
    bool windingDown = announcedAt >= 0 && tick < announcedAt + 30;
    if (!mode.ignoreShutdown && !windingDown && fileExists("shutdown")) {
      logLine("shutdown seen");
      return 0;
    }
    if (mode.exitAfterSeconds >= 0 && tick >= mode.exitAfterSeconds * 10) {
      logLine("exiting by itself");
      return 3;
    }
    Sleep(100);
  }
}
