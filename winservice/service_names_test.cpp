#include "winservice/service_names.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/text_cases.h"

namespace {

TEST(ServiceNames, InstanceIdComesFromTheBaseName) {
  const zaq_test::TextCase cases[] = {
      {"zaqservice2.exe", "2"},
      {"C:\\any\\dir\\zaqservice2.exe", "2"},
      {"zaqservice_a1b.exe", "1b"},
      {"zaqservice.exe", ""},
      {"2zaqservice.exe", ""},
      {"C:\\dir7\\zaqservice.exe", ""},
      {"zaqservice.v2.exe", ""},  // the digit lies in the part cut away at the first "."
      {"zaqservice12", "12"},
      {"C:\\x\\zaqservice3", "3"},
      {"", ""},
      {"\\", ""},
      {"9", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(zaq::instanceIdFromName(c.input), c.expected) << c.input;
}

// The words as written anywhere in the path, folders included; in any letter
// case only in the program's own file name.
TEST(ServiceNames, AgentByTheWordsInThePathOrInAnyCaseInTheFileName) {
  struct Case {
    const char* name;
    bool agent;
  } cases[] = {
      {"zaqservice.exe", true},
      {"C:\\client\\svc.exe", true},
      {"C:\\VQM\\myclient7\\vqmserver.exe", true},
      {"C:\\zaqservice\\svc.exe", true},
      {"C:\\VQM\\server\\vqmserver.exe", false},
      {"ZAQSERVICE.EXE", true},
      {"C:\\x\\ZaqService2.exe", true},
      {"Client.exe", true},
      {"C:\\VQM\\MyCLIENT.exe", true},
      {"C:/VQM/ZAQSERVICE.EXE", true},
      {"C:\\Clients\\acme\\vqmserver.exe", false},
      {"C:\\CLIENT\\svc.exe", false},
      {"C:\\ZaqService\\svc.exe", false},
      {"C:/Clients/acme/vqmserver.exe", false},
      {"zaqservic.exe", false},
      {"clien", false},
      {"C:\\VQM\\Server\\ZAQSERVER.EXE", false},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(zaq::isAgentInvocation(c.name), c.agent) << c.name;
}

TEST(ServiceNames, ServiceNameDropsOneExtension) {
  const zaq_test::TextCase cases[] = {
      {"zaqservice3.exe", "zaqservice3"},
      {"C:\\Program Files\\x\\zaqservice.exe", "zaqservice"},
      {"a.b.exe", "a.b"},
      {".hidden", ".hidden"},
      {"C:\\d.ir\\noext", "noext"},
      {"C:\\dir\\", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(zaq::serviceNameFromInvocation(c.input), c.expected) << c.input;
}

TEST(ServiceNames, LongNamesAreSafe) {
  std::string longName = "C:\\dir\\zaqservice" + std::string(5000, '7') + ".exe";
  std::string instance = zaq::instanceIdFromName(longName.c_str());
  EXPECT_EQ(instance, std::string(5000, '7'));
  char buffer[128];
  zaq::copyBounded(buffer, sizeof buffer, instance);
  EXPECT_EQ(std::string(buffer), std::string(127, '7'));
  zaq::copyBounded(buffer, sizeof buffer, "short");
  EXPECT_STREQ(buffer, "short");
}

}  // namespace
