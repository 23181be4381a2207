// The files that keep what the application printed, one per run, in the
// working directory: "javaconsole.log" for the latest run, then
// "javaconsole.1.log" for the run before it, up to "javaconsole.4.log". Each
// start moves them one place on, dropping the oldest, and begins a new
// "javaconsole.log". A file that cannot be moved (another program holds it
// open) leaves the files before it where they are: the new run is then added
// at the end of "javaconsole.log".
#pragma once

#include <windows.h>

namespace zaq {

constexpr char CHILD_OUTPUT_FILE[] = "javaconsole.log";
// The runs kept, the latest one included.
constexpr int CHILD_OUTPUT_RUNS = 5;

// The file of a new run.
struct RunFile {
  HANDLE file = nullptr;        // none: the run's output is read and dropped
  unsigned long long base = 0;  // where the run begins: after earlier runs when added
  DWORD error = 0;              // why there is no file
};

// Moves the earlier runs' files on and opens the new run's, saying in the
// debug log what could not be done. On the supervising thread.
RunFile openRunFile();

}  // namespace zaq
