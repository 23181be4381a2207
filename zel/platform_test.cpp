#include <gtest/gtest.h>

#include <string>

#include "zel/platform.h"

namespace {

TEST(PlatformCodePage, IsBoundedAndTerminated) {
  char buffer[4] = {'x', 'x', 'x', 'x'};
  zel::platformCodePage(false, buffer, 1);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x');
  char page[32];
  zel::platformCodePage(false, page, sizeof page);
  EXPECT_LT(std::string(page).size(), sizeof page);
}

}  // namespace
