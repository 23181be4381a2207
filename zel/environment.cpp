// The environment getters: read anew on every call, never cached.
#include <cstdlib>

#include "zel/locale.h"

namespace zel {

namespace {
const char* variableOrEmpty(const char* name) {
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe): no thread writes the environment
  return value != nullptr ? value : "";
}
}  // namespace

const char* getNlsPath() {
  return variableOrEmpty("NLSPATH");
}

const char* getZelDir() {
  return variableOrEmpty("ZELDIR");
}

}  // namespace zel
