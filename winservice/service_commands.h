// The operator's console commands: install, remove, debug and help, and the
// text of the last Windows error for their messages.
#pragma once

#include <cstddef>
#include <string>

namespace zaq {

// Each command's result is its exit code: 0 when it did what was asked, else
// the Windows error code of the call that failed, as sc.exe gives it.
// Install over a service of this name that runs this program's file (under
// any spelling of its path), and remove without such a service, find done
// what was asked: 0.
unsigned long CmdInstallService(int argc, char** argv);
// A service that stays in SERVICE_STOP_PENDING without progress is given up
// after a minute and still deleted: ERROR_SERVICE_REQUEST_TIMEOUT.
unsigned long CmdRemoveService();
// 0 after a stop from the console, else the Windows error that kept the
// application from starting.
unsigned long CmdDebugService(int argc, char** argv);
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
