#include "winservice/service_state.h"

namespace zaq {

HANDLE makeEvent(DWORD* error) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) *error = GetLastError();
  return event;
}

ServiceHostState hostState;
ServiceHostSync hostSync;

}  // namespace zaq
