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
//   print-out TEXT     print TEXT and a line end on standard output at once
//   print-err TEXT     the same on standard error
//   print-bytes N      print N bytes of outputPatternByte on standard output
//                      at once, then log "printed N bytes in M ms"
//   print-last TEXT    print TEXT and a line end on standard output after
//                      print-bytes, as a JVM's last words
//   die-once TEXT      on its first start in this directory (no "died-once"
//                      file yet: it makes one) print TEXT and a line end on
//                      standard error and exit with code 3 at once; later
//                      starts go on as the other words say
//   write-size N       print-bytes writes N bytes at a time (64 KiB without
//                      it; a JVM's System.out writes up to 8 KiB)
//   spawn-heir         start a process of its own ("heir") that inherits the
//                      standard handles and prints a line every 200 ms until
//                      "heir.stop" appears (60 s at most); it logs "heir <pid>",
//                      and "heir write failed <error>" when a line cannot be
//                      printed, and then ends
//   read-stdin         read standard input on a thread of its own; when the
//                      read returns (end of input, or an error) log "stdin
//                      ended" and exit with code 4, as an application that
//                      takes the end of its input for "quit"
//   spawn-child        start a process of its own (this program with the one
//                      argument "--sleep-only", which only sleeps, for at most
//                      five minutes) and log "spawned <pid>", as an updater is started
#include <winsock2.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "output_pattern.h"

namespace {

struct Mode {
  bool ignoreShutdown = false;
  int exitAfterSeconds = -1;
  int announceAfterSeconds = -1;
  bool crash = false;
  std::string printOut;
  std::string printErr;
  std::string printLast;
  std::string dieOnce;
  long long printBytes = -1;
  long writeSize = 64 * 1024;
  bool spawnHeir = false;
  bool spawnChild = false;
  bool readInput = false;
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
    std::string word = line;
    word.erase(word.find_last_not_of("\r\n") + 1);
    if (word.rfind("print-out ", 0) == 0) mode.printOut = word.substr(10) + "\r\n";
    if (word.rfind("print-err ", 0) == 0) mode.printErr = word.substr(10) + "\r\n";
    if (word.rfind("print-last ", 0) == 0) mode.printLast = word.substr(11) + "\r\n";
    if (word.rfind("die-once ", 0) == 0) mode.dieOnce = word.substr(9) + "\r\n";
    if (word.rfind("print-bytes ", 0) == 0) mode.printBytes = std::strtoll(word.c_str() + 12, nullptr, 10);
    if (word.rfind("write-size ", 0) == 0) mode.writeSize = std::strtol(word.c_str() + 11, nullptr, 10);
    if (word == "spawn-heir") mode.spawnHeir = true;
    if (word == "read-stdin") mode.readInput = true;
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

DWORD WINAPI readInput(LPVOID) {
  char buffer[64];
  DWORD got = 0;
  BOOL read = ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr);
  logLine("stdin ended: " + std::to_string(got) + " bytes, error " +
          std::to_string(read ? 0 : GetLastError()));
  ExitProcess(4);
}

bool print(DWORD which, const char* data, DWORD length) {
  DWORD written = 0;
  return WriteFile(GetStdHandle(which), data, length, &written, nullptr) && written == length;
}

void printBytes(long long count, long writeSize) {
  DWORD begin = GetTickCount();
  std::vector<char> chunk(writeSize > 0 && writeSize <= 16 * 1024 * 1024 ? writeSize : 64 * 1024);
  long long done = 0;
  while (done < count) {
    DWORD length = count - done < static_cast<long long>(chunk.size()) ? static_cast<DWORD>(count - done)
                                                                       : static_cast<DWORD>(chunk.size());
    for (DWORD i = 0; i < length; ++i) chunk[i] = outputPatternByte(done + i);
    if (!print(STD_OUTPUT_HANDLE, chunk.data(), length)) break;
    done += length;
  }
  logLine("printed " + std::to_string(done) + " bytes in " + std::to_string(GetTickCount() - begin) + " ms");
}

// The heir: a process the application started, holding its standard handles.
int heir() {
  logLine("heir " + std::to_string(GetCurrentProcessId()));
  for (int tick = 0; tick < 300 && !fileExists("heir.stop"); ++tick) {
    if (!print(STD_OUTPUT_HANDLE, "heir\r\n", 6)) {
      logLine("heir write failed " + std::to_string(GetLastError()));
      return 1;
    }
    Sleep(200);
  }
  return 0;
}

void spawnHeir() {
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, sizeof program);
  std::string line = "java.exe heir";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  if (CreateProcessA(program, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
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
  if (commandLine == "java.exe heir") return heir();
  if (commandLine.size() > 13 && commandLine.compare(commandLine.size() - 13, 13, " --sleep-only") == 0) {
    Sleep(300000);
    return 0;
  }
  Mode mode = readMode();
  logLine("start " + std::to_string(GetCurrentProcessId()) + " " + commandLine);
  print(STD_OUTPUT_HANDLE, mode.printOut.data(), static_cast<DWORD>(mode.printOut.size()));
  print(STD_ERROR_HANDLE, mode.printErr.data(), static_cast<DWORD>(mode.printErr.size()));
  if (!mode.dieOnce.empty() && !fileExists("died-once")) {
    FILE* died = std::fopen("died-once", "w");
    if (died != nullptr) std::fclose(died);
    print(STD_ERROR_HANDLE, mode.dieOnce.data(), static_cast<DWORD>(mode.dieOnce.size()));
    logLine("died once");
    return 3;
  }
  if (mode.printBytes >= 0) printBytes(mode.printBytes, mode.writeSize);
  print(STD_OUTPUT_HANDLE, mode.printLast.data(), static_cast<DWORD>(mode.printLast.size()));
  if (mode.spawnHeir) spawnHeir();
  if (mode.readInput) CreateThread(nullptr, 0, readInput, nullptr, 0, nullptr);
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
