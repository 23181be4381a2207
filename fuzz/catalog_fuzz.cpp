// Catalog files are untrusted input: any file must open or fail cleanly, and
// every lookup must give a text inside the catalog or the default. The input
// also drives the locale-name functions and the template expansion.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "winservice/message_format.h"
#include "zel/catalogs.h"
#include "zel/format_rule.h"
#include "zel/locale.h"

namespace {

std::string scratchPath() {
  static unsigned serial = 0;
  const char* dir = std::getenv("TMPDIR");
  // A new name each time: the table caches catalogs by path, and filling it
  // also exercises the eviction of closed catalogs.
  return std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/catalog_fuzz_" +
         std::to_string(getpid()) + "_" + std::to_string(serial++) + ".cat";
}

[[noreturn]] void notFound(const char* what, int setId, int msgId) {
  std::fprintf(stderr, "%s %d/%d of the loaded catalog is not found\n", what, setId, msgId);
  std::abort();
}

// As the service host uses a catalog text: as a format, when the rule lets
// it stand for a default, filled into the room of a message.
void formatAsTheHostDoes(const char* text) {
  if (!zel::formatCanReplace(text, "%s %i")) return;
  std::string message = zaq::formatKeepingEndOf(text, zel::FORMAT_FIELD_LIMIT, "inserted text", 206);
  if (message.size() > zel::FORMAT_FIELD_LIMIT) __builtin_trap();
}

void lookUpEverything(zel::CatalogHandle handle, const std::uint8_t* data, std::size_t size) {
  const char* fallback = "default";
  zel::Catalog* catalog = reinterpret_cast<zel::Catalog*>(handle);
  for (std::int32_t i = 0; i < catalog->setCount; ++i) {
    int setId = catalog->sets[i].setId;
    for (int msgId = -1; msgId < 6; ++msgId) {
      const char* text = zel::catgets(handle, setId, msgId, fallback);
      if (text != fallback) formatAsTheHostDoes(text);
    }
    // Whatever the order of the file, every set kept is found by its number
    // and every message of a loaded set by its own (negative set numbers and
    // message numbers below 1 are never found).
    const zel::CatalogSet& set = catalog->sets[i];
    if (setId >= 0 && zel::findSet(catalog, setId) != &set) notFound("set", setId, 0);
    for (std::uint32_t m = 0; set.state == zel::CATALOG_SET_LOADED && m < set.messageCount; ++m) {
      const zel::CatalogMessage& message = set.messages[m];
      const char* text = zel::catgets(handle, setId, message.msgId, fallback);
      if (text != fallback) formatAsTheHostDoes(text);
      if (setId >= 0 && message.msgId >= 1 && text != message.converted)
        notFound("message", setId, message.msgId);
    }
  }
  for (std::size_t i = 0; i + 8 <= size && i < 64; i += 8) {
    int setId, msgId;
    std::memcpy(&setId, data + i, sizeof setId);
    std::memcpy(&msgId, data + i + 4, sizeof msgId);
    (void)zel::catgets(handle, setId, msgId, fallback);
  }
}

void exerciseNames(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size < 80 ? size : 80);
  text = text.c_str();  // up to the first NUL
  char buffer[32];
  zel::normalizeLocale(text.c_str(), buffer, sizeof buffer);
  zel::alternateLocale(text.c_str(), buffer, sizeof buffer);
  char path[zel::CATALOG_PATH_SIZE];
  zel::expandCatalogPath("/nonexistent/%L/%l_%t.%c/%N", 28, text.c_str(), text.c_str(), path);
  zel::expandCatalogPath(text.data(), text.size(), "fr_FR.UTF-8", "app", path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  exerciseNames(data, size);
  std::string path = scratchPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  zel::CatalogHandle handle = zel::catopen(path.c_str(), 0);
  std::remove(path.c_str());
  if (handle == zel::CAT_INVALID_HANDLE) return 0;
  lookUpEverything(handle, data, size);
  zel::catclose(handle);
  return 0;
}
