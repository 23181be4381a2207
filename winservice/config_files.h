// Readers of the installation's configuration property files ("client.pref",
// "server.ini"): JVM options and the JDBC driver's class-path entries. The files
// are untrusted text; both readers append to the caller's string and keep no state.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "winservice/launch_kind.h"

namespace zaq {

// What the readers left out, for the caller to report: a file that exists but
// cannot be read as text (key empty), or a key whose value has an unmatched
// quote. Each file and key is noted once.
struct ConfigNotice {
  std::string file;
  std::string key;
};
using ConfigNotices = std::vector<ConfigNotice>;

// The configuration property file of each kind, in the working directory.
constexpr char AGENT_CONFIG_FILE[] = "client.pref";
constexpr char SERVER_CONFIG_FILE[] = "server.ini";
constexpr const char* configFileName(LaunchKind kind) {
  return kind == LAUNCH_AGENT ? AGENT_CONFIG_FILE : SERVER_CONFIG_FILE;
}

// Lines as editors write them: a UTF-8 byte-order mark at the start is
// skipped, blanks and tabs right after the "=" and at the end of a value are
// dropped, and a value with an odd number of double quotes is left out (it
// would swallow the rest of the command line); a quote escaped as \" is the
// value's own and not counted. A missing file is silent; one
// that cannot be read (locked, a folder, UTF-16) is noted and read as empty.

// Appends the JVM options of dir\client.pref (the agent) or dir\server.ini
// (the server); without a configured "trova.port=" line, the default port option.
void readJvmOptions(std::string& options, LaunchKind kind, const char* dir, int defaultPort,
                    ConfigNotices* notices = nullptr);

// Appends ";" value ";" companion jar for the first "db.jdbc_jar" line of
// dir\server.ini, each entry quoted when it holds a blank.
void appendJdbcJars(std::string& classPath, const char* dir, ConfigNotices* notices = nullptr);

// The same readers over an open file (file may be null: nothing to read);
// path names the file in notices.
void readJvmOptionsFrom(std::FILE* file, std::string& options, int defaultPort,
                        ConfigNotices* notices = nullptr, const std::string& path = {});
void appendJdbcJarsFrom(std::FILE* file, std::string& classPath, ConfigNotices* notices = nullptr,
                        const std::string& path = {});

}  // namespace zaq
