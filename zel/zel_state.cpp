// The one definition of the library's process-wide state.
#include "zel/zel_state.h"

namespace zel {

// Built at compile time, so it is in place before any other file's
// initialisers run.
constinit ZelState zelState = {
    .utf8Record = {nullptr, CT_UTF8, "UTF8", 0, 0, 0},
    .osRecord = {nullptr, CT_OS, "OS", 0, 0, 0},
    .utf8Converter = &zelState.utf8Record,
    .osConverter = &zelState.osRecord,
    .zelInitialized = false,
    .currentConverter = &zelState.osRecord,
    .osDefaultConverter = &zelState.osRecord,
    .openCatalogs = {nullptr, 0},
    .catalogUseCounter = 0,
};

void resetZelStartup() {
  zelState.zelInitialized = false;
  zelState.currentConverter = zelState.osConverter;
  zelState.osDefaultConverter = zelState.osConverter;
}

}  // namespace zel
