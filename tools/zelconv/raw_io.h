// Input and output by file descriptor, without stdio: the converter's pieces
// are large, so a stdio buffer would only add a copy. Regular files are
// mapped window by window instead of read, which saves the copy into a buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelconv {

constexpr int kStandardInput = 0;
constexpr int kStandardOutput = 1;

// A descriptor open for reading, or -1 with errno set.
int openForReading(const char* path);
void closeInput(int fd);

// Reads up to size bytes: the count, 0 at the end of the input, -1 on an error.
long readSome(int fd, char* buffer, std::size_t size);

// Writes all size bytes; false on an error, with errno set.
bool writeAll(int fd, const char* data, std::size_t size);

// The part of a regular file that can be mapped: from the descriptor's
// current offset to the end of the file. mappable is false for pipes,
// terminals, files with nothing left, and anything else that must be read.
struct MappableFile {
  bool mappable = false;
  std::uint64_t start = 0;
  std::uint64_t end = 0;
};
MappableFile mappableFile(int fd);

// Moves the descriptor's offset; false on failure.
bool seekTo(int fd, std::uint64_t offset);

// Offsets passed to mapRange are multiples of this (the page size).
std::uint64_t mapAlignment();

// Maps length bytes of the file from offset, read-only; null on failure.
const char* mapRange(int fd, std::uint64_t offset, std::size_t length);
void unmapRange(const char* base, std::size_t length);

// A mapped file that shrinks under the program ends it with a message and
// exit status 1 instead of a crash.
void reportShrinkingInput();

}  // namespace zelconv
