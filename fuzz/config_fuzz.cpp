// The configuration property file readers over arbitrary file content, as
// editors and careless hands write it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "winservice/config_files.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string content(reinterpret_cast<const char*>(data), size);
  for (int reader = 0; reader < 2; ++reader) {
    // fmemopen refuses an empty buffer; an empty file is covered by a null one.
    std::FILE* file = size > 0 ? fmemopen(content.data(), content.size(), "r") : nullptr;
    std::string text = "x";
    zaq::ConfigNotices notices;
    if (reader == 0)
      zaq::readJvmOptionsFrom(file, text, zaq::AGENT_LOG_CMD_PORT, &notices, "client.pref");
    else
      zaq::appendJdbcJarsFrom(file, text, &notices, "server.ini");
    if (file != nullptr) std::fclose(file);
    // Whatever the content, the readers only append.
    if (text.empty() || text[0] != 'x') __builtin_trap();
    // A value left out for its quote never reaches the command line: what
    // was appended holds matched quotes only, as Windows counts them (a
    // quote after an odd number of backslashes is a literal one).
    std::size_t quotes = 0;
    std::size_t backslashes = 0;
    for (char c : text) {
      if (c == '"' && backslashes % 2 == 0) ++quotes;
      backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    if (quotes % 2 != 0) __builtin_trap();
  }
  return 0;
}
