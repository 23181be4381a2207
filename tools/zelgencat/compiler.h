// The two commands of zelgencat, with their diagnostics written to err.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zelgencat {

// Compiles the sources into catalogPath; on any error nothing is left at
// catalogPath and the result is non-zero.
int compileCatalog(const std::string& catalogPath, const std::vector<std::string>& sources, std::FILE* err);

// Prints the catalog at catalogPath as message source.
int dumpCatalog(const std::string& catalogPath, std::FILE* out, std::FILE* err);

}  // namespace zelgencat
