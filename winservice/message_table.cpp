#include "winservice/message_table.h"

#include "zel/format_rule.h"

namespace zaq {

namespace {

constexpr MessageDefault MESSAGES[] = {
    {MSG_STOPPING, "Stopping %s.\n"},
    {MSG_STARTED, "%s has started.\n"},
    {MSG_INSTALLED, "%s installed as a Windows service.\n"},
    {MSG_DELETE_SERVICE_FAILED, "Windows DeleteService failed - %s\n"},
    {MSG_REMOVED, "%s removed as a Windows service.\n"},
    {MSG_UNABLE_TO_INSTALL, "Unable to install %s - %s"},
    {MSG_DEBUGGING, "Debugging the %s...\n"},
    {MSG_STOPPED, "%s has stopped.\n"},
    {MSG_FAILED_TO_STOP, "%s has failed to stop.\n"},
    {MSG_OPEN_SCMANAGER_FAILED, "Windows OpenSCManager failed - %s\n"},
    {MSG_OPEN_SERVICE_FAILED, "Windows OpenService failed - %s\n"},
    {MSG_PROCESS_STARTED, "Process started for %s\n"},
    {MSG_CREATE_PROCESS_FAILED, "Windows CreateProcess for command '%s' failed. Error code %i\n"},
    {MSG_TERMINATE_PROCESS_FAILED, "Windows TerminateProcess failed for %s\n"},
    {MSG_DISPATCHER_FAILED, "Windows StartServiceCtrlDispatcher failed."},
    {MSG_FAILED_TO_INSTALL, "Failed to install %s as a Windows service - %s\n"},
    {MSG_HELP_INSTALL, "%s -install          to install the service\n"},
    {MSG_HELP_REMOVE, "%s -remove           to remove the service\n"},
    {MSG_HELP_DEBUG, "%s -debug [params]   to run as a console application for debugging\n"},
    {MSG_DEBUG_SETTINGS, "Working directory is %s.\nJava command is %s\n"},
    {MSG_PROCESS_STOPPED, "%s process has stopped.\n"},
    {MSG_WORKING_DIRECTORY_UNUSABLE, "The working directory %s cannot be entered. Error code %i\n"},
    {MSG_OPTION_UNMATCHED_QUOTE, "The option %s in %s is left out: its value has an unmatched quote.\n"},
    {MSG_PROPERTIES_FILE_UNREADABLE,
     "The file %s cannot be read as a properties file; its options are left out.\n"},
};

}  // namespace

std::span<const MessageDefault> messageDefaults() {
  return MESSAGES;
}

const char* defaultMessageText(int id) {
  for (const MessageDefault& message : MESSAGES)
    if (message.id == id) return message.text;
  return nullptr;
}

bool catalogTextUsable(const char* text, const char* defaultText) {
  if (text == nullptr || defaultText == nullptr) return false;
  return zel::formatCanReplace(text, defaultText);
}

}  // namespace zaq
