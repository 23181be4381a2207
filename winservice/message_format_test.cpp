#include "winservice/message_format.h"

#include <gtest/gtest.h>

#include <string>

#include "winservice/message_table.h"
#include "zel/format_rule.h"

namespace {

constexpr std::size_t ROOM = 4095;

TEST(MessageFormat, ALongCommandIsCutInsideNeverAtTheErrorCode) {
  const char* format = zaq::defaultMessageText(zaq::MSG_CREATE_PROCESS_FAILED);
  std::string command = "C:\\jvm\\java.exe 100% " + std::string(40000, 'c');
  std::string text = zaq::formatKeepingEndOf(format, ROOM, command.c_str(), 206);
  EXPECT_EQ(text.size(), ROOM);
  EXPECT_EQ(text.rfind("Windows CreateProcess for command 'C:\\jvm\\java.exe 100% ccc", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 30), "cc...' failed. Error code 206\n");
}

TEST(MessageFormat, TextsThatFitAreAsPrintfMakesThem) {
  struct Case {
    const char* format;
    const char* first;
    int number;
    const char* expected;
  } cases[] = {
      {"Windows CreateProcess for command '%s' failed. Error code %i\n", "java.exe", 2,
       "Windows CreateProcess for command 'java.exe' failed. Error code 2\n"},
      {"100%% %-6s|%5d|%x|", "ab", 42, "100% ab    |   42|2a|"},
      {"%.3s %c", "abcdef", 'z', "abc z"},
      {"no conversion", "", 0, "no conversion"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(zaq::formatKeepingEndOf(c.format, ROOM, c.first, c.number, c.number), c.expected) << c.format;
  EXPECT_EQ(zaq::formatKeepingEndOf("%s|%s", ROOM, nullptr, "x"), "(null)|x");
}

TEST(MessageFormat, TheLongestInsertedTextsAreCutToOneLength) {
  struct Case {
    std::size_t room;
    std::string first, second, expected;
  } cases[] = {
      {20, "short", std::string(30, 'b'), "<short|bbbbbbbbb...>"},
      {20, std::string(30, 'a'), "short", "<aaaaaaaaa...|short>"},
      {20, std::string(10, 'a'), std::string(30, 'b'), "<aaaaa...|bbbbb...>"},
      {12, std::string(30, 'a'), std::string(30, 'b'), "<a...|b...>"},  // both, each marked
      {5, std::string(30, 'a'), std::string(30, 'b'), "<|>"},           // no room for a mark
      {2, std::string(30, 'a'), std::string(30, 'b'), "<|"},            // then the format's own tail
  };
  for (const Case& c : cases) {
    std::string text = zaq::formatKeepingEndOf("<%s|%s>", c.room, c.first.c_str(), c.second.c_str());
    EXPECT_EQ(text, c.expected) << c.room;
    EXPECT_LE(text.size(), c.room);
  }
}

TEST(MessageFormat, OnlyAFormatLongerThanTheRoomLosesItsTail) {
  std::string format = std::string(5000, 'w') + "\n";
  std::string text = zaq::formatKeepingEndOf(format.c_str(), ROOM);
  EXPECT_EQ(text, std::string(ROOM - 1, 'w') + "\n");
}

// Every default text is formatted here, so its conversions must be ones the
// formatter takes from the arguments.
TEST(MessageFormat, TakesTheConversionsOfEveryDefault) {
  int defaults = 0;
  for (int id = 0; id < 100; ++id) {
    const char* text = zaq::defaultMessageText(id);
    if (text == nullptr) continue;
    ++defaults;
    for (const zel::FormatConversion& c : zel::formatConversions(text)) {
      EXPECT_TRUE(c.problem.empty()) << id;
      EXPECT_TRUE(c.kind == "s" || c.kind == "d") << id << " " << c.kind;
    }
  }
  EXPECT_GT(defaults, 20);
}

}  // namespace
