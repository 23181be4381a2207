#include "winservice/console_output.h"

#include <windows.h>

#include <climits>
#include <cstdio>
#include <cstring>

#include "winservice/console_codepage.h"
#include "zel/zel_state.h"

namespace zaq {

unsigned printedTextCodePage() {
  // Before the library's start-up no catalog text was converted: the texts
  // are the English defaults and names, paths and system texts in the ANSI
  // code page.
  if (!zel::zelInitialized()) return GetACP();
  unsigned codePage = codePageOfCodeset(zel::currentConverter()->name);
  return codePage != 0 && IsValidCodePage(codePage) ? codePage : 0;
}

std::wstring consoleText(const char* text, std::size_t length, unsigned codePage) {
  if (length == 0 || length > static_cast<std::size_t>(INT_MAX)) return std::wstring();
  int count = static_cast<int>(length);
  int wide = MultiByteToWideChar(codePage, 0, text, count, nullptr, 0);
  if (wide <= 0) return std::wstring();
  std::wstring result(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(codePage, 0, text, count, result.data(), wide);
  return result;
}

void printText(const char* text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  unsigned codePage = printedTextCodePage();
  if (codePage != 0 && out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    std::size_t length = std::strlen(text);
    std::wstring wide = consoleText(text, length, codePage);
    DWORD written = 0;
    // What the C library holds for standard output goes first.
    std::fflush(stdout);
    if (length == 0 || (!wide.empty() &&
                        WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)))
      return;
  }
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace zaq
