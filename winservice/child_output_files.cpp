#include "winservice/child_output_files.h"

#include <cstdio>

#include "winservice/output_keeping.h"
#include "winservice/service_debuglog.h"

namespace zaq {

namespace {

// Where a file held open for a long time (an operator's tail window that
// shares writing) takes one run after another: beyond this it begins afresh.
constexpr unsigned long long ADDED_RUNS_LIMIT =
    CHILD_OUTPUT_RUNS * static_cast<unsigned long long>(OUTPUT_KEPT_BYTES);

struct FileName {
  char text[32];
};

FileName runFileName(int age) {
  FileName name;
  if (age == 0)
    std::snprintf(name.text, sizeof name.text, "%s", CHILD_OUTPUT_FILE);
  else
    std::snprintf(name.text, sizeof name.text, "javaconsole.%d.log", age);
  return name;
}

// Moves every file one place on, oldest first, so that no move replaces a
// file: one that cannot move (held open, or a folder of that name, which is
// not ours to move) keeps the newer ones where they are. true when
// "javaconsole.log" is free; otherwise *why says what stopped it first.
bool moveEarlierRuns(char* why, std::size_t size) {
  why[0] = '\0';
  for (int age = CHILD_OUTPUT_RUNS - 1; age >= 0; --age) {
    FileName name = runFileName(age);
    DWORD attributes = GetFileAttributesA(name.text);
    if (attributes == INVALID_FILE_ATTRIBUTES) continue;
    bool oldest = age == CHILD_OUTPUT_RUNS - 1;
    bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!folder && (oldest ? DeleteFileA(name.text) : MoveFileExA(name.text, runFileName(age + 1).text, 0)))
      continue;
    DWORD error = GetLastError();
    // The first failure says why; the ones after it follow from it.
    if (why[0] == '\0' && folder)
      std::snprintf(why, size, "%s is a folder", name.text);
    else if (why[0] == '\0' && oldest)
      std::snprintf(why, size, "%s cannot be deleted, error %lu", name.text, error);
    else if (why[0] == '\0')
      std::snprintf(why, size, "%s cannot be moved to %s, error %lu", name.text, runFileName(age + 1).text,
                    error);
    if (age == 0) return false;
  }
  return true;
}

// Adds the run after what the file holds, with a line that says where it
// begins and why; a file grown past the limit begins afresh (*afresh).
bool addRun(RunFile* run, const char* why, bool* afresh) {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(run->file, &size)) return false;
  *afresh = static_cast<unsigned long long>(size.QuadPart) >= ADDED_RUNS_LIMIT;
  if (*afresh) size.QuadPart = 0;
  if (!SetFilePointerEx(run->file, size, nullptr, FILE_BEGIN) || !SetEndOfFile(run->file)) return false;
  run->base = static_cast<unsigned long long>(size.QuadPart);
  if (*afresh) return true;
  char line[200];
  int length = std::snprintf(line, sizeof line, "\r\n*** Another run begins here (%s) ***\r\n", why);
  DWORD written = 0;
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof line) return true;
  if (!WriteFile(run->file, line, static_cast<DWORD>(length), &written, nullptr) ||
      written != static_cast<DWORD>(length))
    return false;
  run->base += written;
  return true;
}

}  // namespace

RunFile openRunFile() {
  RunFile run;
  char why[160];
  bool fresh = moveEarlierRuns(why, sizeof why);
  HANDLE file = CreateFileA(CHILD_OUTPUT_FILE, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            fresh ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  run.file = file == INVALID_HANDLE_VALUE ? nullptr : file;
  run.error = run.file == nullptr ? GetLastError() : 0;
  bool afresh = false;
  if (run.file != nullptr && !fresh && !addRun(&run, why, &afresh)) {
    run.error = GetLastError();
    CloseHandle(run.file);
    run.file = nullptr;
  }
  char line[300];
  if (run.error != 0)
    std::snprintf(line, sizeof line,
                  "Cannot write %s (error %lu): the application's output is read and dropped",
                  CHILD_OUTPUT_FILE, run.error);
  else if (!fresh && afresh)
    std::snprintf(line, sizeof line,
                  "The runs' output files could not all move on (%s), and %s is over %llu bytes: it begins "
                  "afresh",
                  why, CHILD_OUTPUT_FILE, ADDED_RUNS_LIMIT);
  else if (!fresh)
    std::snprintf(line, sizeof line,
                  "The runs' output files could not all move on (%s): this run is added at the end of %s",
                  why, CHILD_OUTPUT_FILE);
  if (run.error != 0 || !fresh) debugLog(line);
  return run;
}

}  // namespace zaq
