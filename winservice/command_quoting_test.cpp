#include "winservice/command_quoting.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/text_cases.h"

namespace {

// The Microsoft C runtime's split of a command line into arguments, as the
// Java launcher sees it, to check that quoting gives back each piece whole.
std::vector<std::string> splitArguments(const std::string& line) {
  std::vector<std::string> arguments;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    std::string argument;
    bool quoted = false;
    while (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) {
      std::size_t backslashes = 0;
      while (i < line.size() && line[i] == '\\') ++backslashes, ++i;
      if (i < line.size() && line[i] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else {
          quoted = !quoted;
        }
        ++i;
      } else {
        argument.append(backslashes, '\\');
        if (i < line.size() && (quoted || (line[i] != ' ' && line[i] != '\t'))) argument += line[i++];
      }
    }
    arguments.push_back(argument);
  }
  return arguments;
}

TEST(QuoteIfBlank, LeavesTextWithoutBlanksAlone) {
  for (const char* text : {"", "C:\\PROGRA~1\\QZR\\VQM\\client", "C:\\dir\\", "-Dx=\"y\""})
    EXPECT_EQ(zaq::quoteIfBlank(text), text);
}

TEST(QuoteIfBlank, QuotedPiecesComeBackWhole) {
  const zaq_test::TextCase cases[] = {
      {"C:\\Program Files\\x", "\"C:\\Program Files\\x\""},
      {"C:\\Program Files\\x\\", "\"C:\\Program Files\\x\\\\\""},
      {"a\tb", "\"a\tb\""},
      {"say \"hi\" there", "\"say \\\"hi\\\" there\""},
      {"a\\\"b c", "\"a\\\\\\\"b c\""},
  };
  for (const auto& c : cases) {
    std::string quoted = zaq::quoteIfBlank(c.input);
    EXPECT_EQ(quoted, c.expected);
    std::vector<std::string> back = splitArguments("x " + quoted + " y");
    ASSERT_EQ(back.size(), 3u) << c.input;
    EXPECT_EQ(back[1], c.input);
  }
}

}  // namespace
