// Message catalogs as the compiler sees them, and the X/Open message source
// format that it reads and writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zelgencat {

struct SourceMessage {
  std::uint32_t id;
  std::string text;        // UTF-8, no NUL
  std::uint32_t line = 0;  // where it starts in its source file; 0 when read from a catalog
};

struct SourceSet {
  std::uint32_t id;
  std::vector<SourceMessage> messages;  // ascending ids
};

struct MessageCatalog {
  std::vector<SourceSet> sets;  // ascending ids
};

// What carries over from one source file to the next, as if they were one.
struct ParseState {
  char quote = '\0';  // '\0': texts are not quoted
  bool inSet = false;
  std::uint32_t lastSetId = 0;
  std::uint32_t lastMessageId = 0;
};

// Adds the messages of one source file to catalog. On bad input returns false
// with error as "file:line: what".
bool parseMessageSource(const std::string& source, const std::string& fileName, ParseState& state,
                        MessageCatalog& catalog, std::string& error);

// The catalog as message source that parseMessageSource reads back to the same catalog.
std::string formatMessageSource(const MessageCatalog& catalog);

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const std::string& text);

}  // namespace zelgencat
