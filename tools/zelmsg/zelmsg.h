// zelmsg CATALOG SET NUMBER [DEFAULT]: the text catgets gives for a message.
#pragma once

#include <cstdio>

namespace zelmsg {

// Writes the message (or DEFAULT) to out without a line end; returns 0 when
// the catalog has the message, 1 when it does not, 2 for a bad command line.
int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace zelmsg
