// The zelconv command against the iconv command and cat, as whole processes
// on the same files: start, table load, reading, converting and writing to
// /dev/null. The rows are those of the converter benchmark, plus 48 MB of
// ASCII; iconv gets -c where it cannot convert the text without it. The
// three commands run in turn, run after run, so that a busy machine slows
// each of them alike; times are medians, ratios the medians of the per-run
// ratios (ours over iconv, ours over cat). ZELCONV=path times another
// zelconv program instead of the one built here.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "bench_texts.h"

extern char** environ;

namespace {

constexpr std::size_t kRowBytes = 16u << 20;
constexpr std::size_t kAsciiBytes = 48u << 20;
constexpr int kRuns = 15;

using Command = std::vector<std::string>;

// Exit status of the command with its output sent to outputPath (its
// diagnostics to /dev/null: iconv -c reports what it omits), or -1 when
// it could not be run or did not exit normally; wallSeconds receives the
// time from start to end.
int run(const Command& command, const char* outputPath, double& wallSeconds) {
  std::vector<char*> argv;
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outputPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool writeFile(const std::string& path, const std::string& contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
  return static_cast<bool>(out);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string repeated(const std::string& paragraph, std::size_t bytes) {
  std::string text;
  text.reserve(bytes + paragraph.size());
  while (text.size() < bytes) text += paragraph;
  return text;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void printLoad(const char* when) {
  double load[3];
  if (getloadavg(load, 3) == 3)
    std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
}

// The zelconv built beside this benchmark, or another one to compare with.
std::string zelconvProgram() {
  const char* other = std::getenv("ZELCONV");
  return other != nullptr && other[0] != '\0' ? other : ZAQ_ZELCONV;
}

// One row: the text written to a file, then the three commands on it.
void runRow(const char* label, const std::string& input, const char* table, const char* iconvName,
            const std::string& directory) {
  std::string inputPath = directory + "/input";
  std::string oursPath = directory + "/ours", iconvPath = directory + "/iconv";
  if (!writeFile(inputPath, input)) {
    std::printf("%-26s cannot write %s\n", label, inputPath.c_str());
    return;
  }
  Command ours = {zelconvProgram(), "-t", table, inputPath};
  Command iconv = {"iconv", "-f", "UTF-8", "-t", iconvName, inputPath};
  Command cat = {"cat", inputPath};
  // Once to files: ours must succeed, and iconv decides whether it needs -c.
  double seconds = 0;
  if (run(ours, oursPath.c_str(), seconds) != 0) {
    std::printf("%-26s zelconv failed\n", label);
    return;
  }
  bool omits = run(iconv, iconvPath.c_str(), seconds) != 0;
  if (omits) {
    iconv.insert(iconv.begin() + 1, "-c");
    if (run(iconv, iconvPath.c_str(), seconds) < 0) {
      std::printf("%-26s iconv failed\n", label);
      return;
    }
  }
  bool same = readFile(oursPath) == readFile(iconvPath);
  std::vector<double> oursTimes, iconvTimes, catTimes, overIconv, overCat;
  for (int i = 0; i < kRuns; ++i) {
    double a = 0, b = 0, c = 0;
    bool ok = run(ours, "/dev/null", a) == 0;
    ok = run(iconv, "/dev/null", b) >= 0 && ok;
    ok = run(cat, "/dev/null", c) == 0 && ok;
    if (!ok) {
      std::printf("%-26s a run failed\n", label);
      return;
    }
    oursTimes.push_back(a * 1e3);
    iconvTimes.push_back(b * 1e3);
    catTimes.push_back(c * 1e3);
    overIconv.push_back(a / b);
    overCat.push_back(a / c);
  }
  std::printf("%-26s %4zu %-3s %9.1f %9.1f %9.1f %10.2f %9.2f  %s\n", label, input.size() >> 20,
              omits ? "-c" : "", median(oursTimes), median(iconvTimes), median(catTimes), median(overIconv),
              median(overCat),
              same    ? "yes"
              : omits ? "no (-c)"
                      : "NO");
}

}  // namespace

int main() {
  if (std::getenv("ZELDIR") == nullptr) setenv("ZELDIR", ZAQ_DATA_DIR "/codesets", 1);
  char pattern[] = "/tmp/zelconv_bench.XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::perror("zelconv_bench: mkdtemp");
    return 1;
  }
  std::string directory = pattern;
  std::printf("zelconv, iconv and cat as processes, wall ms to /dev/null (median of %d runs)\n", kRuns);
  printLoad("before");
  std::printf("%-26s %4s %-3s %9s %9s %9s %10s %9s  %s\n", "row", "MB", "", "ours", "iconv", "cat",
              "ours/iconv", "ours/cat", "bytes = iconv");
  runRow("ASCII -> 1252", repeated(bench::kEnglish, kAsciiBytes), "1252", "CP1252", directory);
  for (const bench::Row& row : bench::kRows)
    runRow(row.label, repeated(bench::text(row), kRowBytes), row.ours, row.iconvName, directory);
  printLoad("after");
  for (const char* name : {"/input", "/ours", "/iconv"}) std::remove((directory + name).c_str());
  rmdir(directory.c_str());
  return 0;
}
