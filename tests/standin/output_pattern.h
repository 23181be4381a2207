// The bytes the stand-in prints in its "print-bytes" mode, for the tests to
// compare with what was kept: lines of 64 bytes, letters and a line end.
#pragma once

inline char outputPatternByte(unsigned long long at) {
  return at % 64 == 63 ? '\n' : static_cast<char>('a' + at % 26);
}
