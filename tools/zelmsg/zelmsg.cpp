// Opens the catalog as the service host does (catopen with the message locale)
// and prints one message exactly as catgets returns it.
#include "tools/zelmsg/zelmsg.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "zel/catalogs.h"

namespace zelmsg {

namespace {

bool parseInt(const char* text, int& value) {
  errno = 0;
  char* end = nullptr;
  long number = std::strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || number < INT_MIN || number > INT_MAX) return false;
  value = static_cast<int>(number);
  return true;
}

}  // namespace

int run(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  int setId = 0, msgId = 0;
  if (argc < 4 || argc > 5 || !parseInt(argv[2], setId) || !parseInt(argv[3], msgId)) {
    std::fprintf(err, "usage: zelmsg CATALOG SET NUMBER [DEFAULT]\n");
    return 2;
  }
  static const char absent[] = "";
  zel::CatalogHandle handle = zel::catopen(argv[1], zel::CAT_MESSAGE_LOCALE);
  const char* text = zel::catgets(handle, setId, msgId, absent);
  bool found = text != absent;
  if (!found) text = argc == 5 ? argv[4] : "";
  std::size_t length = std::strlen(text);
  if (std::fwrite(text, 1, length, out) != length || std::fflush(out) != 0) return 2;
  return found ? 0 : 1;
}

}  // namespace zelmsg
