// Input and output by file descriptor on POSIX systems.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "raw_io.h"

namespace zelconv {

int openForReading(const char* path) {
  return ::open(path, O_RDONLY | O_CLOEXEC);
}

void closeInput(int fd) {
  ::close(fd);
}

long readSome(int fd, char* buffer, std::size_t size) {
  if (size > LONG_MAX) size = LONG_MAX;
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace zelconv
