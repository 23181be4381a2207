#include "winservice/service_commands.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(ServiceBinaryPath, QuotedOnlyWithABlank) {
  // Unquoted, C:\Program Files\... would let Windows start C:\Program.exe.
  EXPECT_EQ(zaq::serviceBinaryPath("C:\\Program Files\\QZR\\VQM\\client\\zaqservice.exe"),
            "\"C:\\Program Files\\QZR\\VQM\\client\\zaqservice.exe\"");
  EXPECT_EQ(zaq::serviceBinaryPath("C:\\PROGRA~1\\QZR\\VQM\\client\\zaqservice.exe"),
            "C:\\PROGRA~1\\QZR\\VQM\\client\\zaqservice.exe");
  EXPECT_EQ(zaq::serviceBinaryPath("C:\\a\tb\\zaqservice.exe"), "\"C:\\a\tb\\zaqservice.exe\"");
}

TEST(InteractiveFlag, DesktopWithOneOrTwoSignsInAnyCaseAnywhere) {
  struct Case {
    std::vector<const char*> arguments;
    bool expected;
  } cases[] = {
      {{"zaqservice", "-install", "-desktop"}, true},
      {{"zaqservice", "-install", "x", "--DESKTOP"}, true},
      {{"--Desktop", "-install"}, true},  // argument 0 counts too
      {{"zaqservice", "-install"}, false},
      {{"zaqservice", "-install", "/desktop"}, false},
      {{"zaqservice", "-install", "-desktops"}, false},
      {{"zaqservice", "-install", "---desktop"}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(
        zaq::wantsInteractive(static_cast<int>(c.arguments.size()), const_cast<char**>(c.arguments.data())),
        c.expected)
        << c.arguments.back();
}

TEST(LastErrorText, SystemTextWithoutLineEndAndTheCodeInHex) {
  char buffer[256];
  SetLastError(ERROR_SERVICE_EXISTS);
  std::string text = zaq::GetLastErrorText(buffer, sizeof buffer);
  ASSERT_GT(text.size(), std::strlen(" (0x431)"));
  EXPECT_EQ(text.substr(text.size() - 8), " (0x431)");
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;

  SetLastError(ERROR_FILE_NOT_FOUND);
  text = zaq::GetLastErrorText(buffer, sizeof buffer);
  EXPECT_EQ(text.substr(text.size() - 6), " (0x2)");
}

TEST(LastErrorText, EmptyWhenTheTextAndItsCodeDoNotFit) {
  char* systemText = nullptr;
  DWORD systemLength =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                     ERROR_SERVICE_EXISTS, 0, reinterpret_cast<char*>(&systemText), 0, nullptr);
  ASSERT_GT(systemLength, 0u);
  LocalFree(systemText);
  char big[256];
  SetLastError(ERROR_SERVICE_EXISTS);
  zaq::GetLastErrorText(big, sizeof big);
  // The system text (with its line end) and fourteen: the margin for the code.
  std::vector<char> exact(systemLength + 14, 'x');
  SetLastError(ERROR_SERVICE_EXISTS);
  EXPECT_STREQ(zaq::GetLastErrorText(exact.data(), exact.size()), big);
  std::vector<char> short_(systemLength + 13, 'x');
  SetLastError(ERROR_SERVICE_EXISTS);
  EXPECT_STREQ(zaq::GetLastErrorText(short_.data(), short_.size()), "");
  SetLastError(0x2000FFFF);  // no system text
  EXPECT_STREQ(zaq::GetLastErrorText(big, sizeof big), "");
}

}  // namespace
