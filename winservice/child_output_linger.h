// The output pipes of runs that have ended while a process the application
// started (an updater given the JVM's own handles) still holds their write
// end. Closing them would fail every later write of that process (error 232),
// so one thread of the host reads them all, each until its last writer has
// gone, and counts what arrives: the run's file was finished at the
// application's end. The debug log gets the count when a pipe closes.
#pragma once

#include <windows.h>

namespace zaq {

// How many such pipes are read at once; handing over one more lets go of the
// one handed over first (its writers' writes then fail). With the thread's
// wake-up event this fills one wait.
constexpr DWORD LINGERING_PIPES_MAX = MAXIMUM_WAIT_OBJECTS - 1;
// Each pipe's read buffer: what a process left behind prints is counted, not
// kept, so a small one does.
constexpr DWORD LINGERING_READ_SIZE = 4096;

// Takes over pipe, the read end of a run's output opened for overlapped
// reads, and reads it until no writer is left, counting from counted (what
// the caller read after the run's end); for any thread. false, with the pipe
// closed, when no thread can read it.
bool keepReadingAfterEnd(HANDLE pipe, unsigned long long counted);

}  // namespace zaq
