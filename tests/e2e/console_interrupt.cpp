// console_interrupt PID: sends Ctrl+C to the console of process PID, as an
// operator pressing the keys in that window. Exit code 0 when it was sent.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  DWORD processId = std::strtoul(argv[1], nullptr, 10);
  FreeConsole();
  if (!AttachConsole(processId)) return 3;
  // The event reaches every process of the console: not this one.
  SetConsoleCtrlHandler(nullptr, TRUE);
  bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
  Sleep(200);
  FreeConsole();
  return sent ? 0 : 4;
}
