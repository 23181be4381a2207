// X/Open-style message catalogs: open, lookup and close, the table of open
// catalogs, the search for a catalog file and the reading of catalog files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zel {

struct CodesetConverter;

using CatalogHandle = std::intptr_t;  // address of a Catalog, or -1
constexpr CatalogHandle CAT_INVALID_HANDLE = -1;
constexpr int CAT_MESSAGE_LOCALE = 0x1, CAT_NO_LANGUAGE = 0x2, CAT_NO_ALTERNATE = 0x4, CAT_NO_C = 0x8;

// One message of a loaded set. text is the UTF-8 text inside the set's copy of
// the string area; converted holds it in the codeset current at load time;
// scratch is room (2 x length + 1) for converting lookups.
struct CatalogMessage {
  std::int32_t msgId;
  const char* text;
  char* converted;
  char* scratch;
  std::uint32_t textOffset;
  std::uint32_t reserved;
};

// A set as read from its set record; block is the one allocation that holds
// the messages, the string copy, the converted texts and the scratch area.
// A set numbered densely enough also gets, in its block, the converted texts
// indexed by number for catgets: directTexts[msgId - directFirst], null where
// the set has no such message (directSpan 0: no index).
struct CatalogSet {
  std::int32_t setId;
  std::uint32_t next;
  std::uint32_t messageTable;
  std::uint32_t stringArea;
  unsigned char* block;
  CatalogMessage* messages;
  std::uint32_t stringAreaSize;
  std::uint32_t messageCount;
  std::int32_t state;  // CATALOG_SET_UNLOADED or CATALOG_SET_LOADED
  char** directTexts;
  std::int32_t directFirst;
  std::uint32_t directSpan;
};

constexpr std::int32_t CATALOG_SET_UNLOADED = -1;
constexpr std::int32_t CATALOG_SET_LOADED = 0;

struct Catalog {
  std::uint32_t flags;
  std::FILE* fd;
  std::uint32_t fileSize;  // every offset and size is checked against it
  std::int32_t setCount;
  CatalogSet* sets;
};

// A registered catalog. state: 0 closed, 1 open since registration, -1 open
// again through a later catopen of the same path.
struct CatalogSlot {
  char* path;
  Catalog* catalog;
  std::uint32_t lastUse;
  std::int32_t state;
};

// The open-catalog table, which doubles as the cache of loaded catalogs.
struct CatalogTable {
  CatalogSlot** slots;
  std::uint32_t capacity;
};

// The table itself, openCatalogs, and its use counter are in the library's
// state record, zel/zel_state.h.

// The interface.
CatalogHandle catopen(const char* name, int flags);
Catalog* catopenForLocale(const char* name, int flags, const char* locale);
const char* catgets(CatalogHandle handle, int setId, int msgId, const char* defaultText);
const char* catgetsConverted(Catalog* catalog, int setId, int msgId, const char* defaultText,
                             CodesetConverter* converter);
int catclose(CatalogHandle handle);

// The open-catalog table.
CatalogSlot* findCatalogSlot(const char* path);
Catalog* reopenCatalogSlot(CatalogSlot* slot);
int registerCatalog(const char* path, Catalog* catalog);  // 0 on success, -1 on failure

// File search.
constexpr std::size_t CATALOG_PATH_SIZE = 1024;
Catalog* findCatalogFile(const char* name, int flags, const char* pathTemplate, const char* locale);
// The template used when NLSPATH is unset or empty: nls/%L/%N.cat, then
// nls/%l/%N.cat, then %N.cat, relative to the current directory.
const char* defaultCatalogTemplate();
// Expands segment [segment, segment + length) into output (CATALOG_PATH_SIZE
// bytes); returns output when the path exists or is a registered catalog.
char* expandCatalogPath(const char* segment, std::size_t length, const char* localeName,
                        const char* catalogName, char* output);

// Catalog files.
Catalog* loadCatalog(const char* path, int flags);
void freeCatalog(Catalog* catalog);
int loadSet(Catalog* catalog, CatalogSet* set);  // 1 loaded, 0 unreadable, -1 out of memory
CatalogSet* findSet(Catalog* catalog, int setId);
const CatalogMessage* findMessage(const CatalogSet* set, int msgId);

// Text conversion for the loader and for converting lookups.
void convertLoadedText(const char* text, char* output, std::size_t outputSize);
const char* convertForLookup(CodesetConverter* converter, const CatalogMessage* message);

}  // namespace zel
