// zelgencat CATALOG SOURCE...   compile X/Open message source (UTF-8) into a catalog
// zelgencat --dump CATALOG      print a catalog as message source
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/zelgencat/compiler.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--dump") == 0)
    return zelgencat::dumpCatalog(argv[2], stdout, stderr);
  if (argc < 3 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: zelgencat CATALOG SOURCE...\n       zelgencat --dump CATALOG\n");
    return 2;
  }
  std::vector<std::string> sources(argv + 2, argv + argc);
  return zelgencat::compileCatalog(argv[1], sources, stderr);
}
