#include "winservice/service_names.h"

#include <cstring>

namespace zaq {

namespace {

char asciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when word (lower case) occurs in text in any letter case.
bool containsAnyCase(const char* text, const char* word) {
  std::size_t length = std::strlen(word);
  for (; *text != '\0'; ++text) {
    std::size_t i = 0;
    while (i < length && text[i] != '\0' && asciiLower(text[i]) == word[i]) ++i;
    if (i == length) return true;
  }
  return false;
}

// The program's own file name: what follows the last folder separator.
const char* fileNamePart(const char* name) {
  const char* part = name;
  for (const char* c = name; *c != '\0'; ++c)
    if (*c == '\\' || *c == '/') part = c + 1;
  return part;
}

}  // namespace

bool isAgentInvocation(const char* name) {
  // Installations rely on the exact words anywhere in the path (a server may
  // live under C:\Clients\...); only the file name itself is matched in any
  // case, as Windows finds ZAQSERVICE.EXE as readily as zaqservice.exe.
  if (std::strstr(name, "zaqservice") != nullptr || std::strstr(name, "client") != nullptr) return true;
  const char* file = fileNamePart(name);
  return containsAnyCase(file, "zaqservice") || containsAnyCase(file, "client");
}

std::string instanceIdFromName(const char* name) {
  // Scan the base name backwards: each "." ends it there, so it ends before
  // its first "."; a digit anywhere in it (cut part included) allows an ID.
  std::string base = name;
  std::size_t start = 0;
  bool hasDigit = false;
  for (std::size_t i = base.size(); i-- > 0;) {
    char c = base[i];
    if (c == '\\') {
      start = i + 1;
      break;
    }
    if (c == '.') base.resize(i);
    if (c >= '0' && c <= '9') hasDigit = true;
  }
  if (!hasDigit) return {};
  base.erase(0, start);
  // The first character is never taken: 2zaqservice has no instance.
  std::size_t digit = base.find_first_of("0123456789", 1);
  return digit == std::string::npos ? std::string() : base.substr(digit);
}

std::string serviceNameFromInvocation(const char* name) {
  const char* base = std::strrchr(name, '\\');
  base = base != nullptr ? base + 1 : name;
  std::string serviceName = base;
  std::size_t dot = serviceName.rfind('.');
  if (dot != std::string::npos && dot > 0) serviceName.resize(dot);
  return serviceName;
}

void copyBounded(char* buffer, std::size_t size, const std::string& text) {
  if (size == 0) return;
  std::size_t length = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

}  // namespace zaq
