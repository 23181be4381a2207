// The service host's printed messages on standard output: characters on a
// console, whatever its code page; unchanged bytes in a file or a pipe, which
// scripts and installers read.
#pragma once

#include <cstddef>
#include <string>

namespace zaq {

// Prints text: on a console as UTF-16 (WriteConsoleW) converted from the
// codeset the texts are in, otherwise its bytes as they are.
void printText(const char* text);

// The Windows code page the printed texts are in: the ANSI code page until
// the ZEL library has chosen its codeset, then that codeset's code page; 0
// when the codeset has no code page Windows knows.
unsigned printedTextCodePage();

// What WriteConsoleW receives for text in codePage.
std::wstring consoleText(const char* text, std::size_t length, unsigned codePage);

}  // namespace zaq
