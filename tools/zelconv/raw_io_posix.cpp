// Input and output by file descriptor on POSIX systems.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <limits>

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

MappableFile mappableFile(int fd) {
  MappableFile file;
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return file;
  off_t offset = ::lseek(fd, 0, SEEK_CUR);
  // Files of the proc kind say they are empty and must be read.
  if (offset < 0 || offset >= status.st_size) return file;
  file.mappable = true;
  file.start = static_cast<std::uint64_t>(offset);
  file.end = static_cast<std::uint64_t>(status.st_size);
  return file;
}

bool seekTo(int fd, std::uint64_t offset) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
  return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

std::uint64_t mapAlignment() {
  long size = ::sysconf(_SC_PAGESIZE);
  return size > 0 ? static_cast<std::uint64_t>(size) : 4096;
}

const char* mapRange(int fd, std::uint64_t offset, std::size_t length) {
  if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return nullptr;
  // Populated at once: one call instead of a page fault per few pages.
  void* base = ::mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, static_cast<off_t>(offset));
  return base == MAP_FAILED ? nullptr : static_cast<const char*>(base);
}

void unmapRange(const char* base, std::size_t length) {
  ::munmap(const_cast<char*>(base), length);
}

namespace {

void onBusError(int) {
  static const char message[] = "zelconv: an input file shrank while it was being converted\n";
  ssize_t ignored = ::write(2, message, sizeof message - 1);
  (void)ignored;
  ::_exit(1);
}

}  // namespace

void reportShrinkingInput() {
  struct sigaction action {};
  action.sa_handler = onBusError;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGBUS, &action, nullptr);
}

}  // namespace zelconv
