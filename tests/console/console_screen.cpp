// console_screen CODEPAGE SCREENFILE APPLICATION COMMANDLINE
// Runs APPLICATION in a new console of its own whose output code page is
// CODEPAGE, as an operator's console window, and writes what the console's
// screen shows afterwards to SCREENFILE in UTF-8, one line per row written,
// trailing blanks cut. Exit code: the program's, or 90 and up when
// this helper could not do its part.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string screenText(HANDLE console) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(console, &info)) return std::string();
  std::wstring screen;
  std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
  // The rows written, the cursor's own only when something stands before it.
  SHORT rows = static_cast<SHORT>(info.dwCursorPosition.Y + (info.dwCursorPosition.X > 0 ? 1 : 0));
  for (SHORT y = 0; y < rows; ++y) {
    DWORD read = 0;
    if (!ReadConsoleOutputCharacterW(console, row.data(), info.dwSize.X, COORD{0, y}, &read)) break;
    std::wstring line = row.substr(0, read);
    line.erase(line.find_last_not_of(L' ') + 1);
    screen += line + L"\n";
  }
  int size = WideCharToMultiByte(CP_UTF8, 0, screen.data(), static_cast<int>(screen.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0)
    WideCharToMultiByte(CP_UTF8, 0, screen.data(), static_cast<int>(screen.size()), utf8.data(), size,
                        nullptr, nullptr);
  return utf8;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return 90;
  FreeConsole();
  if (!AllocConsole()) return 91;
  char* end = nullptr;
  unsigned long codePage = std::strtoul(argv[1], &end, 10);
  if (end == argv[1] || *end != '\0' || !SetConsoleOutputCP(static_cast<UINT>(codePage))) return 92;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherit, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return 93;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = console;
  startup.hStdError = console;
  std::string commandLine = argv[4];
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(argv[3], commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process))
    return 94;
  DWORD exitCode = 95;
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0)
    GetExitCodeProcess(process.hProcess, &exitCode);
  else
    TerminateProcess(process.hProcess, exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  std::FILE* out = std::fopen(argv[2], "wb");
  if (out == nullptr) return 96;
  std::string screen = screenText(console);
  std::fwrite(screen.data(), 1, screen.size(), out);
  std::fclose(out);
  return static_cast<int>(exitCode);
}
