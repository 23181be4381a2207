#include "winservice/command_quoting.h"

namespace zaq {

bool hasBlank(const std::string& text) {
  return text.find_first_of(" \t") != std::string::npos;
}

std::string quoteArgument(const std::string& text) {
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : text) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes are literal unless a quote follows them.
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}

std::string quoteIfBlank(const std::string& text) {
  return hasBlank(text) ? quoteArgument(text) : text;
}

}  // namespace zaq
