// Input and output by file descriptor, without stdio: the converter's pieces
// are large, so a stdio buffer would only add a copy.
#pragma once

#include <cstddef>

namespace zelconv {

constexpr int STANDARD_INPUT = 0;
constexpr int STANDARD_OUTPUT = 1;

// A descriptor open for reading, or -1 with errno set.
int openForReading(const char* path);
void closeInput(int fd);

// Reads up to size bytes: the count, 0 at the end of the input, -1 on an error.
long readSome(int fd, char* buffer, std::size_t size);

// Writes all size bytes; false on an error, with errno set.
bool writeAll(int fd, const char* data, std::size_t size);

}  // namespace zelconv
