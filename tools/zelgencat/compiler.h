// The two commands of zelgencat, with their diagnostics written to err.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zelgencat {

// Compiles the sources into catalogPath; on any error nothing is left at
// catalogPath and the result is non-zero.
int compileCatalog(const std::string& catalogPath, const std::vector<std::string>& sources, std::FILE* err);

// Checks each translation's message source against the reference's and
// writes every problem to err as "file:line: what"; non-zero when it wrote any
// (or a source could not be read).
int checkTranslations(const std::string& referencePath, const std::vector<std::string>& translationPaths,
                      std::FILE* err);

// Prints the catalog at catalogPath as message source.
int dumpCatalog(const std::string& catalogPath, std::FILE* out, std::FILE* err);

}  // namespace zelgencat
