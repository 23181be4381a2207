#include "winservice/output_keeping.h"

#include <cstdio>
#include <cstring>

namespace zaq {

namespace {

unsigned long long pastHead(const KeptOutput& kept) {
  return kept.total > OUTPUT_HEAD_BYTES ? kept.total - OUTPUT_HEAD_BYTES : 0;
}

}  // namespace

std::size_t keepOutput(KeptOutput* kept, const char* data, std::size_t length) {
  std::size_t headRoom = kept->total < OUTPUT_HEAD_BYTES ? OUTPUT_HEAD_BYTES - kept->total : 0;
  std::size_t head = length < headRoom ? length : headRoom;
  if (head > 0) kept->headEndsLine = data[head - 1] == '\n';
  std::size_t rest = length - head;
  if (rest > 0) {
    if (kept->tail.empty()) kept->tail.resize(OUTPUT_TAIL_BYTES);
    // Only the last ring's worth of what arrived can stay.
    std::size_t copied = rest < OUTPUT_TAIL_BYTES ? rest : OUTPUT_TAIL_BYTES;
    const char* from = data + length - copied;
    std::size_t at = static_cast<std::size_t>((pastHead(*kept) + (rest - copied)) % OUTPUT_TAIL_BYTES);
    std::size_t first = copied < OUTPUT_TAIL_BYTES - at ? copied : OUTPUT_TAIL_BYTES - at;
    std::memcpy(kept->tail.data() + at, from, first);
    std::memcpy(kept->tail.data(), from + first, copied - first);
  }
  kept->total += length;
  return head;
}

OutputTail outputTail(const KeptOutput& kept) {
  OutputTail tail;
  unsigned long long inRing = pastHead(kept);
  if (inRing <= OUTPUT_TAIL_BYTES) {
    // Nothing was left out: the ring has not turned, and follows the head.
    tail.first = kept.tail.data();
    tail.firstLength = static_cast<std::size_t>(inRing);
    return tail;
  }
  char line[200];
  int length = std::snprintf(
      line, sizeof line,
      "%s*** %llu bytes of output were left out here: this file keeps the first %zu and "
      "the last %zu bytes of each run ***\r\n",
      kept.headEndsLine ? "" : "\r\n", inRing - OUTPUT_TAIL_BYTES, OUTPUT_HEAD_BYTES, OUTPUT_TAIL_BYTES);
  if (length > 0 && static_cast<std::size_t>(length) < sizeof line) tail.line.assign(line, length);
  std::size_t oldest = static_cast<std::size_t>(inRing % OUTPUT_TAIL_BYTES);
  tail.first = kept.tail.data() + oldest;
  tail.firstLength = OUTPUT_TAIL_BYTES - oldest;
  tail.second = kept.tail.data();
  tail.secondLength = oldest;
  return tail;
}

}  // namespace zaq
