// The ZEL library's process-wide state, in one record: the built-in
// converters, the converters that start-up chooses, and the table of open
// catalogs. The library writes it; its users read it through the functions
// below. Unguarded: the library takes no locks, and its callers serialise
// their use of it.
#pragma once

#include <cstdint>

#include "zel/catalogs.h"
#include "zel/converters.h"

namespace zel {

struct ZelState {
  // The built-in converters' records, and the two pointers at them, which
  // never change: UTF-8 re-encoding, and the pass-through fallback.
  CodesetConverter utf8Record;
  CodesetConverter osRecord;
  CodesetConverter* utf8Converter;
  CodesetConverter* osConverter;
  // Set once by zelInitialize, which chooses the two converters below; both
  // are osConverter until then.
  bool zelInitialized;
  CodesetConverter* currentConverter;    // used for a null converter argument
  CodesetConverter* osDefaultConverter;  // the operating system's own codeset
  // The open-catalog table, which doubles as the cache of loaded catalogs,
  // and the stamp of the next registration or re-open.
  CatalogTable openCatalogs;
  std::uint32_t catalogUseCounter;
};

extern ZelState zelState;

// Whether start-up has run (it runs at the first conversion given a null
// converter, or at setCurrentConverter).
inline bool zelInitialized() {
  return zelState.zelInitialized;
}
// The converter a null converter argument means once start-up has run; before
// it, osConverter. Reading it does not run start-up.
inline CodesetConverter* currentConverter() {
  return zelState.currentConverter;
}
inline CodesetConverter* osDefaultConverter() {
  return zelState.osDefaultConverter;
}
inline CodesetConverter* utf8Converter() {
  return zelState.utf8Converter;
}
inline CodesetConverter* osConverter() {
  return zelState.osConverter;
}
inline const CatalogTable& openCatalogs() {
  return zelState.openCatalogs;
}

// For tests: start-up as if it had not run, so that the next conversion given
// a null converter runs it again. Frees nothing: the converters start-up
// opened are the caller's to free.
void resetZelStartup();

}  // namespace zel
