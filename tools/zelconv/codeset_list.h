// The codesets that openCodeset can open from the table directories.
#pragma once

#include <string>
#include <vector>

namespace zelconv {

// Names of the table files (and redirect files leading to tables) found in
// the directories the library searches, sorted, with the built-in UTF8.
std::vector<std::string> listCodesets();

}  // namespace zelconv
