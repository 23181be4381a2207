// The operator's console commands: install, remove, debug and help, and the
// text of the last Windows error for their messages.
#pragma once

#include <cstddef>
#include <string>

namespace zaq {

void CmdInstallService(int argc, char** argv);
void CmdRemoveService();
void CmdDebugService(int argc, char** argv);
void CmdHelp();

// The thread's last Windows error as "text (0x<code>)" in buffer, or "" when
// there is no text or it does not fit; returns buffer.
char* GetLastErrorText(char* buffer, std::size_t size);

// True when one of the arguments is "-desktop" or "--desktop" in any case.
bool wantsInteractive(int argc, char** argv);

// The binary path registered for the service: modulePath, in double quotes
// when it holds a blank, so that Windows cannot take a shorter path's program.
std::string serviceBinaryPath(const char* modulePath);

}  // namespace zaq
