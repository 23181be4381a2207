// The service host's own plain diagnostic log, "service.log" in the working
// directory, on only when the marker file "debugservice" is there at start-up.
#pragma once

namespace zaq {

// Opens hostState.debugLogFile for appending when the marker file exists in
// the current directory (the working directory). Silent on failure.
void openDebugLog();

// Appends one line "[m%d %H:%M:%S.mmm] text" when the debug log is open. The
// line is written by one call and flushed, so lines of threads do not mix.
void debugLog(const char* text);

}  // namespace zaq
