// Lists the codesets by trying every file of the searched directories the way
// the library would load it.
#include "codeset_list.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>

#include "zel/codeset_tables.h"
#include "zel/locale.h"
#include "zel/path_separator.h"

namespace zelconv {

namespace {

std::vector<std::string> searchedPrefixes() {
  const std::string sep(1, zel::PATH_SEPARATOR);
  std::vector<std::string> prefixes;
  std::string zelDir = zel::getZelDir();
  if (!zelDir.empty()) {
    prefixes.push_back(zelDir + sep + "codeset" + sep);
    prefixes.push_back(zelDir + sep);
  }
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread writes the environment
  const char* binDir = std::getenv("BINDIR");
  if (binDir != nullptr && binDir[0] != '\0')
    prefixes.push_back(std::string(binDir) + sep + ".." + sep + "generic" + sep + "codeset" + sep);
  prefixes.push_back("");
  return prefixes;
}

}  // namespace

std::vector<std::string> listCodesets() {
  std::set<std::string> names{"UTF8"};
  for (const std::string& prefix : searchedPrefixes()) {
    std::error_code error;
    std::filesystem::directory_iterator it(prefix.empty() ? "." : prefix, error), end;
    for (; !error && it != end; it.increment(error)) {
      if (!it->is_regular_file(error)) continue;
      std::string name = it->path().filename().string();
      zel::CodesetTable table = zel::loadCodesetTable(prefix.c_str(), name.c_str());
      if (table.image == nullptr) continue;
      std::free(table.image);
      names.insert(name);
    }
  }
  return std::vector<std::string>(names.begin(), names.end());
}

}  // namespace zelconv
