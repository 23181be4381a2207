#include "winservice/config_files.h"

#include <cerrno>
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

constexpr char UTF8_BOM[] = "\xEF\xBB\xBF";

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// Drops trailing blanks, tabs and line ends; the first character always stays.
void cleanLineEnd(char* line) {
  std::size_t length = std::strlen(line);
  while (length > 1 && (isBlank(line[length - 1]) || line[length - 1] == '\r' || line[length - 1] == '\n'))
    line[--length] = '\0';
}

// The value of a line: everything after its first "=" and the blanks and
// tabs that follow it, or null without one.
const char* lineValue(const char* line) {
  const char* value = std::strchr(line, '=');
  if (value == nullptr) return nullptr;
  for (++value; isBlank(*value);) ++value;
  return value;
}

// Counts the quotes that open or close a quoted part as Windows reads a
// command line: one after an odd number of backslashes (\") is a literal
// quote of the value, which the Java VM receives as it is.
bool unmatchedQuote(const char* value) {
  std::size_t quotes = 0;
  std::size_t backslashes = 0;
  for (; *value != '\0'; ++value) {
    if (*value == '"' && backslashes % 2 == 0) ++quotes;
    backslashes = *value == '\\' ? backslashes + 1 : 0;
  }
  return quotes % 2 != 0;
}

void noteOnce(ConfigNotices* notices, const std::string& file, const std::string& key) {
  if (notices == nullptr) return;
  for (const ConfigNotice& notice : *notices)
    if (notice.file == file && notice.key == key) return;
  notices->push_back({file, key});
}

// Reads the next line of the file into line; the first one without a UTF-8
// byte-order mark. False at the end, and for a file that is not text as
// these readers know it (unreadable, or UTF-16), which is noted.
bool nextLine(std::FILE* file, char (&line)[LINE_SIZE], bool first, ConfigNotices* notices,
              const std::string& path) {
  if (file == nullptr) return false;
  if (std::fgets(line, LINE_SIZE, file) == nullptr) {
    if (std::ferror(file)) noteOnce(notices, path, "");
    return false;
  }
  if (!first) return true;
  if (std::strncmp(line, UTF8_BOM, 3) == 0) std::memmove(line, line + 3, std::strlen(line + 3) + 1);
  if ((line[0] == '\xFF' && line[1] == '\xFE') || (line[0] == '\xFE' && line[1] == '\xFF')) {
    noteOnce(notices, path, "");
    return false;
  }
  return true;
}

// The key as an operator writes it in the file, without its "=".
std::string keyName(const char* key) {
  std::string name = key;
  if (!name.empty() && name.back() == '=') name.pop_back();
  return name;
}

// Opens path for reading; a file that is there but cannot be opened is noted.
std::FILE* openConfigFile(const std::string& path, ConfigNotices* notices) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "r");
  if (file == nullptr && errno != ENOENT) noteOnce(notices, path, "");
  return file;
}

std::string openedPath(const char* dir, const char* fileName) {
  std::string path = dir != nullptr ? dir : "";
  path += '\\';
  path += fileName;
  return path;
}

}  // namespace

void readJvmOptionsFrom(std::FILE* file, std::string& options, int defaultPort, ConfigNotices* notices,
                        const std::string& path) {
  bool portConfigured = false;
  int keyLines = 0;
  char line[LINE_SIZE];
  for (bool first = true; keyLines < MAX_KEY_LINES && nextLine(file, line, first, notices, path);
       first = false) {
    if (line[0] == '#') continue;
    cleanLineEnd(line);
    for (const JvmKey& key : JVM_KEYS) {
      if (std::strstr(line, key.key) == nullptr) continue;
      ++keyLines;
      if (std::strcmp(key.key, "trova.port=") == 0) portConfigured = true;
      const char* value = lineValue(line);  // never null: every key holds "="
      if (key.option != nullptr && value != nullptr && *value != '\0' && *value != '\n' && *value != '\r') {
        if (unmatchedQuote(value)) {
          noteOnce(notices, path, keyName(key.key));
          continue;
        }
        options += key.option;
        options += value;
      }
    }
  }
  if (!portConfigured) options += " -Dtrova.logCmdPort=" + std::to_string(defaultPort) + " ";
}

void readJvmOptions(std::string& options, LaunchKind kind, const char* dir, int defaultPort,
                    ConfigNotices* notices) {
  std::string path = openedPath(dir, configFileName(kind));
  std::FILE* file = openConfigFile(path, notices);
  readJvmOptionsFrom(file, options, defaultPort, notices, path);
  if (file != nullptr) std::fclose(file);
}

void appendJdbcJarsFrom(std::FILE* file, std::string& classPath, ConfigNotices* notices,
                        const std::string& path) {
  char line[LINE_SIZE];
  bool found = false;
  for (bool first = true; nextLine(file, line, first, notices, path); first = false) {
    if (line[0] != '#' && std::strstr(line, JDBC_KEY) != nullptr) {
      found = true;
      break;
    }
  }
  if (!found) return;
  cleanLineEnd(line);
  const char* value = lineValue(line);
  // A key line without "=" names no driver.
  if (value == nullptr) return;
  std::string driver = value;
  // A path in one pair of quotes is taken without them (the entries are
  // quoted below as they need). No file name holds a quote: any other one
  // would leave the companion entry, cut from the path, unmatched.
  if (driver.size() >= 2 && driver.front() == '"' && driver.back() == '"')
    driver = driver.substr(1, driver.size() - 2);
  if (driver.find('"') != std::string::npos) {
    noteOnce(notices, path, JDBC_KEY);
    return;
  }
  // An empty value still gives an empty entry and a bare companion jar (found
  // in the working directory), as installations have always had it.
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

void appendJdbcJars(std::string& classPath, const char* dir, ConfigNotices* notices) {
  std::string path = openedPath(dir, SERVER_CONFIG_FILE);
  std::FILE* file = openConfigFile(path, notices);
  appendJdbcJarsFrom(file, classPath, notices, path);
  if (file != nullptr) std::fclose(file);
}

}  // namespace zaq
