#include "winservice/service_messages.h"

#include <cstdarg>
#include <string>

#include "winservice/console_output.h"
#include "winservice/message_format.h"
#include "winservice/message_table.h"
#include "winservice/service_state.h"
#include "winservice/utils.h"
#include "winservice/vqm_logging.h"

namespace zaq {

namespace {

// The source module named in every record of the service host.
constexpr char SOURCE_MODULE[] = "service";

// A catalog text is a format for arguments of the default's kinds: one whose
// conversions differ would read arguments that are not there.
const char* messageFormat(int id) {
  const char* defaultText = defaultMessageText(id);
  if (defaultText == nullptr) return "";
  const char* text = getCatalogMessage(hostState.messageCatalog, MESSAGE_SET, id, defaultText);
  return catalogTextUsable(text, defaultText) ? text : defaultText;
}

void emitMessageV(const char* name, unsigned ways, const char* function, const MessageAt& message,
                  va_list arguments) {
  // Formatted in the caller's own string: the service thread and the control
  // handler emit messages at the same time. A long inserted text is cut, not
  // the message's end, which holds the error code and the line end.
  std::string formatted = formatKeepingEnd(messageFormat(message.id), MESSAGE_TEXT_SIZE - 1, arguments);
  const char* text = formatted.c_str();
  int line = static_cast<int>(message.where.line());
  if ((ways & (MSG_LOGGED_INFO | MSG_LOGGED_ERROR)) != 0) {
    if (!hostState.traceLogPath.empty())
      writeLogRecord(hostState.traceLogPath.c_str(), SOURCE_MODULE, line, name, function, text, LOG_TRACE);
    if (!hostState.messageLogPath.empty())
      writeLogRecord(hostState.messageLogPath.c_str(), SOURCE_MODULE, line, name, function, text,
                     (ways & MSG_LOGGED_ERROR) != 0 ? LOG_ERROR : LOG_INFO);
  }
  if ((ways & MSG_PRINTED) != 0) printText(text);
}

}  // namespace

void emitMessage(unsigned ways, const char* function, MessageAt message, ...) {
  va_list arguments;
  va_start(arguments, message);
  emitMessageV(hostState.displayName, ways, function, message, arguments);
  va_end(arguments);
}

void emitMessageAs(const char* name, unsigned ways, const char* function, MessageAt message, ...) {
  va_list arguments;
  va_start(arguments, message);
  emitMessageV(name, ways, function, message, arguments);
  va_end(arguments);
}

void traceRecord(const char* function, const char* text, const char* name, std::source_location where) {
  if (hostState.traceLogPath.empty()) return;
  writeLogRecord(hostState.traceLogPath.c_str(), SOURCE_MODULE, static_cast<int>(where.line()),
                 name != nullptr ? name : hostState.serviceName.c_str(), function, text, LOG_TRACE);
}

}  // namespace zaq
