#include "winservice/config_files.h"

#include <cstring>

#include "winservice/command_quoting.h"

namespace zaq {

namespace {

// One read of at most 1023 characters; a longer line comes in pieces, each
// handled as a line of its own.
constexpr int LINE_SIZE = 1024;
constexpr int MAX_KEY_LINES = 5;
constexpr char JDBC_KEY[] = "db.jdbc_jar";
constexpr char JDBC_COMPANION[] = "rx9jcc.jar";

struct JvmKey {
  const char* key;
  const char* option;  // null: recognised, appends nothing
};

constexpr JvmKey JVM_KEYS[] = {
    {"jvm.thread.stack.size=", " -Xss"},
    {"jvm.heap.init=", " -Xms"},
    {"jvm.heap.max=", " -Xmx"},
    {"trova.port=", " -Dtrova.logCmdPort="},
    {"server.keystore.password=", nullptr},
};

// Drops trailing blanks and line ends; the first character always stays.
void cleanLineEnd(char* line) {
  std::size_t length = std::strlen(line);
  while (length > 1 && (line[length - 1] == ' ' || line[length - 1] == '\r' || line[length - 1] == '\n'))
    line[--length] = '\0';
}

// The value of a line: everything after its first "=", or null without one.
const char* lineValue(const char* line) {
  const char* equals = std::strchr(line, '=');
  return equals != nullptr ? equals + 1 : nullptr;
}

std::string openedPath(const char* dir, const char* fileName) {
  std::string path = dir != nullptr ? dir : "";
  path += '\\';
  path += fileName;
  return path;
}

}  // namespace

void readJvmOptionsFrom(std::FILE* file, std::string& options, int defaultPort) {
  bool portConfigured = false;
  int keyLines = 0;
  char line[LINE_SIZE];
  while (file != nullptr && keyLines < MAX_KEY_LINES && std::fgets(line, sizeof line, file) != nullptr) {
    if (line[0] == '#') continue;
    cleanLineEnd(line);
    for (const JvmKey& key : JVM_KEYS) {
      if (std::strstr(line, key.key) == nullptr) continue;
      ++keyLines;
      if (std::strcmp(key.key, "trova.port=") == 0) portConfigured = true;
      const char* value = lineValue(line);  // never null: every key holds "="
      if (key.option != nullptr && value != nullptr && *value != '\0' && *value != '\n' && *value != '\r') {
        options += key.option;
        options += value;
      }
    }
  }
  if (!portConfigured) options += " -Dtrova.logCmdPort=" + std::to_string(defaultPort) + " ";
}

void readJvmOptions(std::string& options, int isAgent, const char* dir, int defaultPort) {
  std::FILE* file = std::fopen(openedPath(dir, isAgent != 0 ? "client.pref" : "server.ini").c_str(), "r");
  readJvmOptionsFrom(file, options, defaultPort);
  if (file != nullptr) std::fclose(file);
}

void appendJdbcJarsFrom(std::FILE* file, std::string& classPath) {
  char line[LINE_SIZE];
  bool found = false;
  while (file != nullptr && std::fgets(line, sizeof line, file) != nullptr) {
    if (line[0] != '#' && std::strstr(line, JDBC_KEY) != nullptr) {
      found = true;
      break;
    }
  }
  if (!found) return;
  cleanLineEnd(line);
  const char* value = lineValue(line);
  // A key line without "=" or with an empty value names no driver; an empty
  // entry would put the current directory on the class path.
  if (value == nullptr || *value == '\0') return;
  std::string driver = value;
  std::size_t lastBackslash = driver.rfind('\\');
  std::string companion = lastBackslash == std::string::npos ? "" : driver.substr(0, lastBackslash + 1);
  companion += JDBC_COMPANION;
  // Both entries are quoted when the value holds a blank, so each reaches the
  // Java VM whole.
  bool quote = hasBlank(driver);
  classPath += ';';
  classPath += quote ? quoteArgument(driver) : driver;
  classPath += ';';
  classPath += quote ? quoteArgument(companion) : companion;
}

void appendJdbcJars(std::string& classPath, const char* dir) {
  std::FILE* file = std::fopen(openedPath(dir, "server.ini").c_str(), "r");
  appendJdbcJarsFrom(file, classPath);
  if (file != nullptr) std::fclose(file);
}

}  // namespace zaq
