// Which installation and instance this process serves, worked out once at
// start-up from the invocation name and the registry, and the working
// directory made the current directory.
#pragma once

namespace zaq {

// Fills the identity fields of hostState, changes into the working directory
// and opens the debug log when its marker file is there.
void setupServiceInfo(const char* name);

// Sets hostState.instanceId from the base name of the invocation name.
void setupInstanceID(const char* name);

// Sets hostState.workingDirectory from the registry (or the default; an empty
// value counts as none), in its short form when there is one, and makes it
// the current drive and directory; hostState.workingDirectoryError keeps the
// Windows error when it cannot, and the debug log then stays closed.
void getWorkingDir();

// Reports message 28 (the working directory and its error) the given ways
// (MessageWay) for function; used where the host refuses to run without it.
void reportUnusableWorkingDirectory(unsigned ways, const char* function);

}  // namespace zaq
