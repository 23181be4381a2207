// The one way the service host emits a numbered message (logged as
// information, logged as an error, printed) and the one way it writes a trace
// record; both carry the source line of their call.
#pragma once

#include <source_location>

namespace zaq {

// Ways of emitting a message; logged and printed may be combined, and a logged
// message is logged before it is printed.
enum MessageWay : unsigned {
  MSG_LOGGED_INFO = 1,
  MSG_LOGGED_ERROR = 2,
  MSG_PRINTED = 4,
};

// A message number with the place of the call that names it.
struct MessageAt {
  int id;
  std::source_location where;
  MessageAt(int messageId, std::source_location at = std::source_location::current())
      : id(messageId), where(at) {}
};

// Looks up message (set 2 of the catalog, or its default), formats it with the
// arguments (const char* texts and ints, as the default text's conversions
// say) and emits it the given ways. Logged records name displayName.
void emitMessage(unsigned ways, const char* function, MessageAt message, ...);

// The same with name in the records' name field (main passes argument 0).
void emitMessageAs(const char* name, unsigned ways, const char* function, MessageAt message, ...);

// Writes a trace record ("ENTRY", "EXIT", ...) to the trace log, when tracing,
// under serviceName or under name when given.
void traceRecord(const char* function, const char* text, const char* name = nullptr,
                 std::source_location where = std::source_location::current());

}  // namespace zaq
