// What the invocation name (argument 0) says about the service: agent or
// server, the instance ID and the service name. Plain text work, no system calls.
#pragma once

#include <cstddef>
#include <string>

namespace zaq {

// True when name holds "zaqservice" or "client" anywhere (directories
// included) as written, or in any letter case in its file name.
bool isAgentInvocation(const char* name);

// The instance ID of the base name: from its leftmost digit after the first
// character up to the base name's first ".", or "" without one.
std::string instanceIdFromName(const char* name);

// The base name without its last extension (a leading "." is not an extension).
std::string serviceNameFromInvocation(const char* name);

// Copies text into buffer of size bytes, cut at size - 1 and always terminated.
void copyBounded(char* buffer, std::size_t size, const std::string& text);

}  // namespace zaq
