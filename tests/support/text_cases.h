// The record of the table-driven tests that map one text to another: the
// input and what the code under test must make of it.
#pragma once

namespace zaq_test {

struct TextCase {
  const char* input;
  const char* expected;
};

}  // namespace zaq_test
