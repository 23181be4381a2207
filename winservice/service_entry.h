// The single entry of zaqservice for both of its lives: console commands and
// the service started by the Service Control Manager.
#pragma once

namespace zaq {

enum CommandWord : int {
  COMMAND_NONE = 0,  // run as the service (dispatcher step)
  COMMAND_INSTALL,
  COMMAND_REMOVE,
  COMMAND_DEBUG,
  COMMAND_HELP,
};

// The command word of the first argument: "-" or "/" then a word, in any case
// and in full; anything else (also a lone program name) is COMMAND_NONE.
CommandWord commandWord(int argc, char** argv);

// True when an argument after the program name is exactly "-trace".
bool hasTraceFlag(int argc, char** argv);

// Opens the catalog "winServCMessages" (searched from the current directory
// when NLSPATH is unset) and loads its message set.
void openMessageCatalog();

// main's start-up: identity and working directory, the catalog, the debug log
// banner and the log paths.
void setUpProcess(const char* programName, bool trace);

// main's work; ends the process with the command's exit code (0 or the
// Windows error of the call that failed), or 0 or 1 after the dispatcher step;
// never returns.
[[noreturn]] void serviceHostMain(int argc, char** argv);

}  // namespace zaq
