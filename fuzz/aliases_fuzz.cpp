// Aliases files are untrusted input: any content must leave the name buffer
// terminated inside its size, and the first line that names the codeset with
// a replacement followed by white space must decide. The input is the file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zel/locale.h"

namespace {

constexpr std::size_t LINE_PIECE = 127;  // the reader's piece of a line

std::string directory;

void removeDirectory() {
  std::remove((directory + "/aliases").c_str());
  rmdir(directory.c_str());
}

// A directory of its own holding the file as "aliases", named by ZELDIR (it
// has no "codeset" folder, so ZELDIR/aliases is the file read); removed at
// exit.
const std::string& aliasesPath() {
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    directory = std::string(tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp") + "/aliases_fuzz_XXXXXX";
    if (mkdtemp(directory.data()) == nullptr) std::abort();
    std::atexit(removeDirectory);
    setenv("ZELDIR", directory.c_str(), 1);
    return directory + "/aliases";
  }();
  return path;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// What the first line says, read as the library reads it: its first field,
// and its second field when one follows that white space ends (else
// *decides is false). The line is its first piece, up to a NUL.
std::string firstLine(const std::string& content, std::string* second, bool* decides) {
  std::string piece = content.substr(0, LINE_PIECE);
  std::size_t newline = piece.find('\n');
  if (newline != std::string::npos) piece.resize(newline + 1);
  piece = piece.c_str();
  std::size_t p = 0;
  while (p < piece.size() && isBlank(piece[p])) ++p;
  std::size_t start = p;
  while (p < piece.size() && !isBlank(piece[p])) ++p;
  std::string first = piece.substr(start, p - start);
  while (p < piece.size() && isBlank(piece[p])) ++p;
  start = p;
  while (p < piece.size() && !isBlank(piece[p])) ++p;
  *second = piece.substr(start, p - start);
  *decides = !piece.empty() && piece[0] != '#' && !first.empty() && !second->empty() && p < piece.size();
  return first;
}

// Resolves name in a heap buffer of exactly size bytes; returns the result.
std::string resolve(const std::string& name, std::size_t size) {
  char* buffer = static_cast<char*>(std::malloc(size));
  if (buffer == nullptr) std::abort();
  std::size_t n = name.size() < size - 1 ? name.size() : size - 1;
  std::memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
  if (zel::resolveCodesetAlias(buffer, size) != 0) std::abort();  // the file is there
  if (std::memchr(buffer, '\0', size) == nullptr) std::abort();
  std::string result = buffer;
  std::free(buffer);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = aliasesPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  std::string content(reinterpret_cast<const char*>(data), size);

  std::string second;
  bool decides = false;
  std::string first = firstLine(content, &second, &decides);
  // A file of one piece without a line end has no other line to decide.
  bool onlyLine = content.size() <= LINE_PIECE && content.find('\n') == std::string::npos;
  for (std::size_t bufferSize : {std::size_t{128}, std::size_t{6}, std::size_t{1}}) {
    std::string result = resolve(first, bufferSize);
    if (first.size() >= bufferSize) continue;  // the name was cut
    if (decides && result != second.substr(0, bufferSize - 1)) std::abort();
    if (!decides && onlyLine && result != first) std::abort();
  }
  for (const char* name : {"UTF8", "IBM037", ""}) (void)resolve(name, 32);

  // Normalisation applies the aliases last; its result stays inside its buffer.
  std::string name = content.substr(0, 40).c_str();
  for (std::size_t bufferSize : {std::size_t{128}, std::size_t{4}, std::size_t{1}}) {
    char* buffer = static_cast<char*>(std::malloc(bufferSize));
    if (buffer == nullptr) std::abort();
    zel::normalizeCodesetName(name.c_str(), buffer, bufferSize);
    if (std::memchr(buffer, '\0', bufferSize) == nullptr) std::abort();
    std::free(buffer);
  }
  return 0;
}
