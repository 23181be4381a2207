// What a run's file keeps of the application's output: the first half of the
// bound as it comes, and the last half, held in a ring and written after the
// head, with one line between them that counts what was left out. A run that
// prints within the bound is kept whole, without that line. The memory is the
// ring's, whatever the run prints.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zaq {

constexpr std::size_t OUTPUT_KEPT_BYTES = 1024 * 1024;
constexpr std::size_t OUTPUT_HEAD_BYTES = OUTPUT_KEPT_BYTES / 2;
constexpr std::size_t OUTPUT_TAIL_BYTES = OUTPUT_KEPT_BYTES - OUTPUT_HEAD_BYTES;

struct KeptOutput {
  unsigned long long total = 0;  // bytes of the run so far
  bool headEndsLine = true;      // the head is empty or ends with a line end
  std::vector<char> tail;        // the ring, made when the head is full
};

// Takes the next length bytes of the run: how many of them, from data's
// start, belong to the head, for the caller to write at once; the rest goes
// to the ring.
std::size_t keepOutput(KeptOutput* kept, const char* data, std::size_t length);

// What follows the head, in this order: the line that counts what was left
// out (empty when nothing was), then the ring's bytes, oldest first, in up to
// two pieces.
struct OutputTail {
  std::string line;
  const char* first = nullptr;
  std::size_t firstLength = 0;
  const char* second = nullptr;
  std::size_t secondLength = 0;
};
OutputTail outputTail(const KeptOutput& kept);

}  // namespace zaq
