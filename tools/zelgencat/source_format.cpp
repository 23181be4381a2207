// Writing a catalog back as message source: texts in double quotes, with the
// characters that the reader treats specially escaped.
#include <cstdio>

#include "tools/zelgencat/message_source.h"

namespace zelgencat {

namespace {

void appendEscaped(std::string& out, const std::string& text) {
  for (char c : text) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte == 0x7F) {
      char octal[5];
      std::snprintf(octal, sizeof octal, "\\%03o", byte);
      out += octal;
    } else {
      out += c;
    }
  }
}

}  // namespace

std::string formatMessageSource(const MessageCatalog& catalog) {
  std::string out = "$quote \"\n";
  for (const SourceSet& set : catalog.sets) {
    out += "$set " + std::to_string(set.id) + "\n";
    for (const SourceMessage& message : set.messages) {
      out += std::to_string(message.id) + " \"";
      appendEscaped(out, message.text);
      out += "\"\n";
    }
  }
  return out;
}

}  // namespace zelgencat
