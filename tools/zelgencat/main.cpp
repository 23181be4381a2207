// zelgencat CATALOG SOURCE...   compile X/Open message source (UTF-8) into a catalog
// zelgencat --dump CATALOG      print a catalog as message source
// zelgencat --check REFERENCE TRANSLATION...
//                               report, as file:line, every message of a translation whose
//                               printf conversions differ from the reference's, and every
//                               message that is missing or extra; exit status 1 if any
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/zelgencat/compiler.h"

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--dump") == 0)
    return zelgencat::dumpCatalog(argv[2], stdout, stderr);
  if (argc >= 4 && std::strcmp(argv[1], "--check") == 0)
    return zelgencat::checkTranslations(argv[2], std::vector<std::string>(argv + 3, argv + argc), stderr);
  if (argc < 3 || argv[1][0] == '-') {
    std::fprintf(stderr,
                 "usage: zelgencat CATALOG SOURCE...\n       zelgencat --dump CATALOG\n"
                 "       zelgencat --check REFERENCE.msg TRANSLATION.msg...\n");
    return 2;
  }
  std::vector<std::string> sources(argv + 2, argv + argc);
  return zelgencat::compileCatalog(argv[1], sources, stderr);
}
