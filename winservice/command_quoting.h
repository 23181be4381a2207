// Quoting of command-line pieces for the Java VM's argument parser (the
// Microsoft C runtime rules): a piece with a blank must reach the VM as one
// argument, and a path with a blank at the head of a command line must not let
// CreateProcess try "C:\Program.exe".
#pragma once

#include <string>

namespace zaq {

// True when text holds a blank or a tab, the characters that split arguments.
bool hasBlank(const std::string& text);

// text in double quotes, with backslashes before an inner quote or before the
// closing quote doubled, so that the argument parser gives back text exactly.
std::string quoteArgument(const std::string& text);

// text unchanged when it has no blank, else quoteArgument(text).
std::string quoteIfBlank(const std::string& text);

}  // namespace zaq
