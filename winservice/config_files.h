// Readers of the installation's configuration property files ("client.pref",
// "server.ini"): JVM options and the JDBC driver's class-path entries. The files
// are untrusted text; both readers append to the caller's string and keep no state.
#pragma once

#include <cstdio>
#include <string>

namespace zaq {

// Appends the JVM options of dir\client.pref (isAgent non-zero) or
// dir\server.ini; without a configured "trova.port=" line, the default port option.
void readJvmOptions(std::string& options, int isAgent, const char* dir, int defaultPort);

// Appends ";" value ";" companion jar for the first "db.jdbc_jar" line of
// dir\server.ini, each entry quoted when it holds a blank.
void appendJdbcJars(std::string& classPath, const char* dir);

// The same readers over an open file (file may be null: nothing to read).
void readJvmOptionsFrom(std::FILE* file, std::string& options, int defaultPort);
void appendJdbcJarsFrom(std::FILE* file, std::string& classPath);

}  // namespace zaq
