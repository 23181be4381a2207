// The Windows event records of the Wine session: Wine prints each reported
// event on the standard error of the process that reports it, which the
// session's log collects ("err:eventlog" lines for error events,
// "trace:eventlog" for the others).
#pragma once

#include <cstddef>
#include <fstream>
#include <string>

namespace zaq_test {

// How many of the session's records of kind ("err" or "trace") hold token.
inline std::size_t sessionEvents(const char* kind, const std::string& token) {
  // Wine prints the record's backslashes escaped.
  std::string escaped;
  for (char c : token) {
    escaped.push_back(c);
    if (c == '\\') escaped.push_back(c);
  }
  std::string channel = std::string(kind) + ":eventlog:";
  std::size_t count = 0;
  std::ifstream log(std::string(ZAQ_BINARY_DIR) + "/wine/session.log", std::ios::binary);
  for (std::string line; std::getline(log, line);)
    if (line.find(channel) != std::string::npos && line.find(escaped) != std::string::npos) ++count;
  return count;
}

}  // namespace zaq_test
