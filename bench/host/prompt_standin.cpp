// The Java launcher stand-in of the host benchmark: it ends as soon as its host
// asks, whichever way the host asks: the "shutdown" file appearing in its
// working directory (seen through a change notification, not a poll), or
// Ctrl+C on its console. So the benchmark compares the hosts, not how soon a
// stand-in notices. It appends to "standin.log" in its working directory
// "start <pid> <command line>" and, when asked, "asked <how> <ms>", where ms
// is the performance counter in milliseconds, which all processes of the
// machine share, taken the moment the request arrived.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

HANDLE asked = nullptr;
double ctrlCAt = 0;

double nowMs() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void logLine(const std::string& line) {
  std::FILE* log = std::fopen("standin.log", "a");
  if (log == nullptr) return;
  std::fprintf(log, "%s\n", line.c_str());
  std::fclose(log);
}

BOOL WINAPI onConsoleEvent(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  ctrlCAt = nowMs();
  SetEvent(asked);
  // The main thread writes the log and ends the process.
  Sleep(INFINITE);
  return TRUE;
}

bool shutdownFilePresent() {
  return GetFileAttributesA("shutdown") != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main() {
  logLine("start " + std::to_string(GetCurrentProcessId()) + " " + GetCommandLineA());
  asked = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // A process started in a group of its own ignores Ctrl+C until it asks for it.
  SetConsoleCtrlHandler(nullptr, FALSE);
  SetConsoleCtrlHandler(onConsoleEvent, TRUE);
  HANDLE change = FindFirstChangeNotificationA(".", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
  if (change == INVALID_HANDLE_VALUE) change = nullptr;
  const char* how = "ctrl-c";
  double at = 0;
  for (;;) {
    if (shutdownFilePresent()) {
      at = nowMs();
      how = "shutdown";
      break;
    }
    HANDLE handles[2] = {asked, change};
    DWORD woke =
        WaitForMultipleObjects(change != nullptr ? 2 : 1, handles, FALSE, change != nullptr ? INFINITE : 10);
    if (woke == WAIT_OBJECT_0) {
      at = ctrlCAt;
      break;
    }
    if (woke == WAIT_OBJECT_0 + 1 && !FindNextChangeNotification(change)) change = nullptr;
  }
  char line[64];
  std::snprintf(line, sizeof line, "asked %s %.3f", how, at);
  logLine(line);
  ExitProcess(0);
}
