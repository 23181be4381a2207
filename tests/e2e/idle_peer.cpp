// An idle program with the service host's imports: it has talked to the
// Service Control Manager and the event log once, then sleeps until it is
// ended. What Wine itself costs such a process is the baseline against which
// the memory of zaqservice is read.
#include <windows.h>

int main() {
  if (SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT)) CloseServiceHandle(manager);
  if (HANDLE source = RegisterEventSourceA(nullptr, "idle_peer")) DeregisterEventSource(source);
  Sleep(INFINITE);
}
