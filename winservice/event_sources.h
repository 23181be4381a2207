// Event Viewer's registration of the service host's event sources: the display
// name and the service name, under which its records reach the Application
// event log, each pointing at the program's own message table.
#pragma once

namespace zaq {

// The registry key of event source name under HKEY_LOCAL_MACHINE.
constexpr char EVENT_LOG_APPLICATION_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";

// Registers hostState's display name and service name as event sources with
// EventMessageFile = messageFile (REG_EXPAND_SZ) and TypesSupported = 7. A
// failure goes to the debug log only: the events are reported all the same.
void registerEventSources(const char* messageFile);

// Deletes the keys registerEventSources made for messageFile: a key of the
// same name whose EventMessageFile names another program (the product's
// installer registered it, or another copy) stays. Failures go to the debug log.
void removeEventSources(const char* messageFile);

}  // namespace zaq
