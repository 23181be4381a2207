// What the Java application prints: its standard output and error arrive on
// one pipe; its standard input is a pipe that the host never writes to and
// closes when the run ends. These two ends are the only handles the child
// inherits. A reader thread keeps the head and the tail of each run (a MiB in
// all) in the run's file in the working directory (child_output_files.h),
// drains and counts the rest, and in the debug command also copies everything
// to the host's standard output. The application never waits on the host:
// the pipe is drained whatever happens to the file, and the end of a run
// waits for the reader only a bounded moment, whoever else still holds the
// write end.
//
// One child at a time, driven by the supervising thread: beginChildOutput,
// then childOutputCreated, then (for a child that was created) endChildOutput
// once it has ended.
#pragma once

#include <windows.h>

namespace zaq {

// How long the end of a run waits for the reader to write what the child left
// in the pipe; a reader still busy then (a file that does not take its bytes)
// ends by itself later.
constexpr unsigned long CHILD_OUTPUT_END_MS = 1000;
// A run shorter than this gets a debug log line pointing to the file.
constexpr unsigned long CHILD_SHORT_RUN_MS = 10000;

// What CreateProcessA takes for the capture. Without one (its pipe could not
// be made) startup is the caller's own record and nothing is inherited.
struct ChildStartup {
  LPSTARTUPINFOA startup = nullptr;
  BOOL inheritHandles = FALSE;
  DWORD creationFlags = 0;  // EXTENDED_STARTUPINFO_PRESENT with the handle list
};

// Before the creation: the pipes and the handle list, added
// to a copy of base (which must outlive the creation).
ChildStartup beginChildOutput(STARTUPINFOA* base);

// After the creation attempt: the child's ends are closed here; when the child
// was created, "javaconsole.log" is replaced and the reader started. Keeps the
// thread's last error.
void childOutputCreated(bool created);

// What the readers write the file and the debug command's copy with:
// WriteFile, unless a test puts there a writer that holds a thread as a write
// to a stuck share would. Set while no run is being read; null for WriteFile.
using ChildOutputWriter = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
void setChildOutputWriter(ChildOutputWriter writer);

// After the child has ended: lets the reader take what is left in the pipe and
// end, waiting at most CHILD_OUTPUT_END_MS. A short run that ended by itself
// (no stop of the host's) is named in the debug log, with where its output is.
void endChildOutput(bool endedByItself);

}  // namespace zaq
