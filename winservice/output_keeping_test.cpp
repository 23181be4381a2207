#include "winservice/output_keeping.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using zaq::OUTPUT_HEAD_BYTES;
using zaq::OUTPUT_KEPT_BYTES;
using zaq::OUTPUT_TAIL_BYTES;

// Bytes that tell every position from its neighbours, in lines of 61.
char streamByte(unsigned long long at, bool lineEndClosesHead) {
  if (lineEndClosesHead && at == OUTPUT_HEAD_BYTES - 1) return '\n';
  return at % 61 == 60 ? '\n' : static_cast<char>('a' + (at * 7 + at / 61) % 26);
}

// A run's output fed in pieces of every size, from nothing to several times
// the bound, across the head's end and the ring's turns: the head and the
// tail are the run's own bytes at their places, and the line between them
// counts exactly what is missing.
TEST(OutputKeeping, TheFileIsTheHeadTheCountOfWhatWasLeftOutAndTheTail) {
  struct Case {
    unsigned long long total;
    std::size_t piece;
    bool lineEndClosesHead = false;
  } cases[] = {
      {0, 1},
      {10, 3},
      {OUTPUT_HEAD_BYTES - 1, 4096},
      {OUTPUT_HEAD_BYTES, OUTPUT_KEPT_BYTES},
      {OUTPUT_HEAD_BYTES + 1, 7},
      {OUTPUT_KEPT_BYTES, 65536},
      {OUTPUT_KEPT_BYTES + 1, 65536},
      {OUTPUT_KEPT_BYTES + 1, OUTPUT_KEPT_BYTES + 1},
      {OUTPUT_KEPT_BYTES + 1, 8192, true},
      {3000015, 65536},
      {3000000, 3000000},
      {5 * OUTPUT_TAIL_BYTES + 123, OUTPUT_TAIL_BYTES + 1},
      {5 * OUTPUT_TAIL_BYTES + 123, OUTPUT_TAIL_BYTES - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.total) + " in pieces of " + std::to_string(c.piece));
    std::string stream;
    for (unsigned long long at = 0; at < c.total; ++at) stream.push_back(streamByte(at, c.lineEndClosesHead));
    zaq::KeptOutput kept;
    std::string file;
    for (std::size_t at = 0; at < stream.size(); at += c.piece) {
      std::size_t length = stream.size() - at < c.piece ? stream.size() - at : c.piece;
      std::size_t head = zaq::keepOutput(&kept, stream.data() + at, length);
      file.append(stream, at, head);
    }
    zaq::OutputTail tail = zaq::outputTail(kept);
    file += tail.line;
    file.append(tail.first, tail.firstLength);
    if (tail.secondLength > 0) file.append(tail.second, tail.secondLength);

    std::string expected = stream;
    if (c.total > OUTPUT_KEPT_BYTES) {
      expected = stream.substr(0, OUTPUT_HEAD_BYTES) + (c.lineEndClosesHead ? "" : "\r\n") + "*** " +
                 std::to_string(c.total - OUTPUT_KEPT_BYTES) +
                 " bytes of output were left out here: this file keeps the first 524288 and the last 524288 "
                 "bytes of each run ***\r\n" +
                 stream.substr(stream.size() - OUTPUT_TAIL_BYTES);
    }
    EXPECT_EQ(kept.total, c.total);
    EXPECT_LE(kept.tail.size(), OUTPUT_TAIL_BYTES);
    ASSERT_EQ(file.size(), expected.size());
    EXPECT_TRUE(file == expected);
  }
}

}  // namespace
