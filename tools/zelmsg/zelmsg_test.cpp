#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/zelmsg/zelmsg.h"

namespace {

TEST(Zelmsg, PrintsTheMessageOrTheDefault) {
  std::string english = (std::filesystem::path(ZAQ_DATA_DIR) / "messages" / "winServCMessages.cat").string();
  setenv("LANG", "fr_FR", 1);  // NOLINT(concurrency-mt-unsafe): the test runs on one thread
  std::string nlsPath = (std::filesystem::path(ZAQ_DATA_DIR) / "messages" / "%L" / "%N.cat").string();
  setenv("NLSPATH", nlsPath.c_str(), 1);  // NOLINT(concurrency-mt-unsafe): the test runs on one thread
  struct Case {
    std::vector<const char*> args;
    int status;
    std::string out;
  } cases[] = {
      {{english.c_str(), "2", "21"}, 0, "Windows StartServiceCtrlDispatcher failed."},
      {{english.c_str(), "2", "5", "ignored"}, 0, "Stopping %s.\n"},
      {{"winServCMessages", "2", "14"}, 0, "%s s'est arr\xC3\xAAt\xC3\xA9.\n"},
      {{english.c_str(), "2", "6", "fallback"}, 1, "fallback"},
      {{english.c_str(), "3", "1"}, 1, ""},
      {{"/nonexistent/x.cat", "2", "5", "none"}, 1, "none"},
      {{english.c_str(), "2"}, 2, ""},
      {{english.c_str(), "two", "5"}, 2, ""},
      {{english.c_str(), "2", "5x"}, 2, ""},
      {{english.c_str(), "2", "99999999999"}, 2, ""},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"zelmsg"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int status = zelmsg::run(static_cast<int>(argv.size()), argv.data(), out, err);
    std::string text(4096, '\0');
    std::rewind(out);
    text.resize(std::fread(text.data(), 1, text.size(), out));
    std::fclose(out);
    std::fclose(err);
    EXPECT_EQ(status, c.status) << c.args.size();
    EXPECT_EQ(text, c.out);
  }
  unsetenv("NLSPATH");  // NOLINT(concurrency-mt-unsafe): the test runs on one thread
  unsetenv("LANG");     // NOLINT(concurrency-mt-unsafe): the test runs on one thread
}

}  // namespace
