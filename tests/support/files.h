// Whole files for the tests of every folder: bytes in, bytes out.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace zaq_test {

// Writes bytes as the whole file, making its folder first; a file that cannot
// be written fails the test.
inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
  std::error_code ignored;
  std::filesystem::create_directories(path.parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path.string();
}
inline void writeFile(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
  writeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// The bytes of a file; "" when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

// The text of a file written in text mode, its "\r\n" line ends read as "\n".
inline std::string readText(const std::filesystem::path& path) {
  std::string text = readFile(path);
  std::string lines;
  for (std::size_t at = 0; at < text.size(); ++at)
    if (!(text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) lines.push_back(text[at]);
  return lines;
}

}  // namespace zaq_test
