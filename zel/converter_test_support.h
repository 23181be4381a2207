// Helpers shared by the converter tests: environment, scratch files,
// one-call conversions and byte strings.
#pragma once

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/environment_variables.h"
#include "tests/support/files.h"
#include "zel/codeset_tables.h"
#include "zel/converters.h"
#include "zel/zel_state.h"

namespace zeltest {

// A fresh, empty scratch directory in the build tree.
inline std::string scratchDir(const std::string& name) {
  std::filesystem::path dir = std::filesystem::path(ZAQ_BINARY_DIR) / "zel_scratch" / name;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  std::filesystem::create_directories(dir);
  return dir.string();
}

using zaq_test::ScopedVariable;
using zaq_test::setVariable;
using zaq_test::writeFile;

// The generated codeset data (ZELDIR layout) of the native build.
inline std::string generatedZelDir() {
  return std::string(ZAQ_DATA_DIR) + "/codesets";
}

// Frees a converter opened from a table (the library itself never does).
inline void releaseConverter(zel::CodesetConverter* converter) {
  if (converter == nullptr || converter == zel::utf8Converter() || converter == zel::osConverter()) return;
  std::free(converter->table);
  std::free(converter);
}

// Puts the library back in its state before start-up, freeing what start-up
// opened.
inline void resetStartup() {
  if (zel::osDefaultConverter() != zel::currentConverter()) releaseConverter(zel::osDefaultConverter());
  releaseConverter(zel::currentConverter());
  zel::resetZelStartup();
}

struct Converted {
  std::string bytes;
  zel::ConvStatus status;
  std::size_t consumed;
};

// One convFromUtf8 call with room for outputSize bytes.
inline Converted convertOnce(zel::CodesetConverter* converter, const std::string& input,
                             std::size_t outputSize = 4096) {
  std::vector<char> buffer(outputSize + 1);
  const char* in = input.data();
  std::size_t inCount = input.size();
  char* out = buffer.data();
  std::size_t outCount = outputSize;
  zel::ConvStatus status = zel::convFromUtf8(converter, &in, &inCount, &out, &outCount);
  return {std::string(buffer.data(), outputSize - outCount), status, input.size() - inCount};
}

// Converts the whole input and closes the output with a reset call.
inline std::string convertAll(zel::CodesetConverter* converter, const std::string& input) {
  Converted c = convertOnce(converter, input, input.size() * 8 + 16);
  std::vector<char> tail(8);
  char* out = tail.data();
  std::size_t outCount = tail.size();
  const char* none = nullptr;
  std::size_t zero = 0;
  zel::convFromUtf8(converter, &none, &zero, &out, &outCount);
  return c.bytes + std::string(tail.data(), tail.size() - outCount);
}

inline std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

inline std::string hex(const std::string& s) {
  static const char digits[] = "0123456789ABCDEF";
  std::string h;
  for (unsigned char c : s) {
    if (!h.empty()) h.push_back(' ');
    h.push_back(digits[c >> 4]);
    h.push_back(digits[c & 15]);
  }
  return h;
}

}  // namespace zeltest

namespace zeltest {

// A converter record over an image held by the test.
inline zel::CodesetConverter converterOver(std::vector<unsigned char>& image) {
  zel::CodesetConverter c{image.data(), zel::tableConverterType(image.data()), "", 0, 0, image.size()};
  return c;
}

inline std::array<std::uint16_t, 256> noDecoding() {
  std::array<std::uint16_t, 256> decode;
  decode.fill(0xFFFF);
  return decode;
}

}  // namespace zeltest
