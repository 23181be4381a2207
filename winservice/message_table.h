// The service host's numbered messages (catalog "winServCMessages", set 2) with
// their English defaults, and the check that a catalog's text can stand in for
// a default as a format.
#pragma once

#include <span>

namespace zaq {

constexpr char MESSAGE_CATALOG_NAME[] = "winServCMessages";
constexpr int MESSAGE_SET = 2;

// Message numbers, named for what they report.
enum ServiceMessageId : int {
  MSG_STOPPING = 5,
  MSG_STARTED = 7,
  MSG_INSTALLED = 8,
  MSG_DELETE_SERVICE_FAILED = 9,
  MSG_REMOVED = 11,
  MSG_UNABLE_TO_INSTALL = 12,
  MSG_DEBUGGING = 13,
  MSG_STOPPED = 14,
  MSG_FAILED_TO_STOP = 15,
  MSG_OPEN_SCMANAGER_FAILED = 16,
  MSG_OPEN_SERVICE_FAILED = 17,
  MSG_PROCESS_STARTED = 18,
  MSG_CREATE_PROCESS_FAILED = 19,
  MSG_TERMINATE_PROCESS_FAILED = 20,
  MSG_DISPATCHER_FAILED = 21,
  MSG_FAILED_TO_INSTALL = 22,
  MSG_HELP_INSTALL = 23,
  MSG_HELP_REMOVE = 24,
  MSG_HELP_DEBUG = 25,
  MSG_DEBUG_SETTINGS = 26,
  MSG_PROCESS_STOPPED = 27,
  MSG_WORKING_DIRECTORY_UNUSABLE = 28,
  MSG_OPTION_UNMATCHED_QUOTE = 29,
  MSG_PROPERTIES_FILE_UNREADABLE = 30,
};

struct MessageDefault {
  int id;
  const char* text;
};

// Every message number the host has a default for, with its text.
std::span<const MessageDefault> messageDefaults();

// The default text of message id, or null for a number the table lacks.
const char* defaultMessageText(int id);

// True when a catalog's text may be used as the format for the arguments of
// defaultText: the rule of zel::checkFormat, which the translator's check in
// the build applies too.
bool catalogTextUsable(const char* text, const char* defaultText);

}  // namespace zaq
