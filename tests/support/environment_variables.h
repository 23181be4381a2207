// Environment variables set by a test, and put back when its scope ends.
#pragma once

#include <cstdlib>
#include <string>

namespace zaq_test {

// Sets name to value, or removes it when value is null.
inline void setVariable(const char* name, const char* value) {
#ifdef _WIN32
  std::string assignment = std::string(name) + "=" + (value ? value : "");
  _putenv(assignment.c_str());
#else
  if (value)
    // NOLINTNEXTLINE(concurrency-mt-unsafe): tests change the environment on their one thread
    setenv(name, value, 1);
  else
    unsetenv(name);  // NOLINT(concurrency-mt-unsafe): tests change the environment on their one thread
#endif
}

// Restores an environment variable when the scope ends.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): tests change the environment on their one thread
    const char* old = std::getenv(name);
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setVariable(name, value);
  }
  ~ScopedVariable() { setVariable(name_.c_str(), hadOld_ ? old_.c_str() : nullptr); }

 private:
  std::string name_, old_;
  bool hadOld_ = false;
};

}  // namespace zaq_test
