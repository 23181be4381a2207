// The zelconv command against the iconv command and cat, as whole processes
// on the same files: start, table load, reading, converting and writing to
// /dev/null. The rows are those of the converter benchmark, plus 48 MB of
// ASCII; iconv gets -c where it cannot convert the text without it.
//
// The files are met as users meet them, not as just written: each text is
// written once, synced, dropped from the page cache and read back once, the
// way a file on disk comes into memory (the kernel then holds its pages
// otherwise than those of a file just written, and mapping them costs more);
// a copy made with cp is timed as well. The three commands run in turn, run
// after run, so that a busy machine slows each of them alike; times are
// medians, ratios the medians of the per-run ratios (ours over iconv, ours
// over cat), in wall time and in processor time (user plus system, which a
// busy machine inflates less). ZELCONV=path times another zelconv program
// instead of the one built here.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
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

constexpr std::size_t ROW_BYTES = 16u << 20;
constexpr std::size_t ASCII_BYTES = 48u << 20;
constexpr int ROUNDS = 15;

using Command = std::vector<std::string>;

struct Times {
  double wall = 0;       // seconds from start to end
  double processor = 0;  // seconds of user and system time
};

// Exit status of the command with its output sent to outputPath (its
// diagnostics to /dev/null: iconv -c reports what it omits), or -1 when
// it could not be run or did not exit normally; times receives its times.
int run(const Command& command, const char* outputPath, Times& times) {
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
  struct rusage usage {};
  if (wait4(pid, &status, 0, &usage) != pid) return -1;
  times.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  times.processor = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Puts the file in memory as one on disk comes there: its pages written out
// and dropped from the cache, then read once in order (with the kernel's
// readahead, as a program reading it would).
bool readBackFromDisk(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  bool ok = fsync(fd) == 0 && posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
  std::vector<char> buffer(1u << 20);
  for (ssize_t n; ok && (n = read(fd, buffer.data(), buffer.size())) != 0;) ok = n > 0;
  close(fd);
  return ok;
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

// The three commands on one input file, one line of the table.
void timeFile(const std::string& label, const std::string& inputPath, std::size_t megabytes,
              const char* table, const char* iconvName, const std::string& directory) {
  std::string oursPath = directory + "/ours", iconvPath = directory + "/iconv";
  const char* name = label.c_str();
  Command ours = {zelconvProgram(), "-t", table, inputPath};
  Command iconv = {"iconv", "-f", "UTF-8", "-t", iconvName, inputPath};
  Command cat = {"cat", inputPath};
  // Once to files: ours must succeed, and iconv decides whether it needs -c.
  Times times;
  if (run(ours, oursPath.c_str(), times) != 0) {
    std::printf("%-34s zelconv failed\n", name);
    return;
  }
  bool omits = run(iconv, iconvPath.c_str(), times) != 0;
  if (omits) {
    iconv.insert(iconv.begin() + 1, "-c");
    if (run(iconv, iconvPath.c_str(), times) < 0) {
      std::printf("%-34s iconv failed\n", name);
      return;
    }
  }
  bool same = readFile(oursPath) == readFile(iconvPath);
  std::vector<double> oursWall, iconvWall, catWall, overIconv, overCat, oursProcessor, catProcessor,
      overCatProcessor;
  for (int i = 0; i < ROUNDS; ++i) {
    Times a, b, c;
    bool ok = run(ours, "/dev/null", a) == 0;
    ok = run(iconv, "/dev/null", b) >= 0 && ok;
    ok = run(cat, "/dev/null", c) == 0 && ok;
    if (!ok) {
      std::printf("%-34s a run failed\n", name);
      return;
    }
    oursWall.push_back(a.wall * 1e3);
    iconvWall.push_back(b.wall * 1e3);
    catWall.push_back(c.wall * 1e3);
    overIconv.push_back(a.wall / b.wall);
    overCat.push_back(a.wall / c.wall);
    oursProcessor.push_back(a.processor * 1e3);
    catProcessor.push_back(c.processor * 1e3);
    if (c.processor > 0) overCatProcessor.push_back(a.processor / c.processor);
  }
  std::printf("%-34s %4zu %-3s %8.1f %8.1f %8.1f %10.2f %8.2f %8.1f %8.1f %8.2f  %s\n", name, megabytes,
              omits ? "-c" : "", median(oursWall), median(iconvWall), median(catWall), median(overIconv),
              median(overCat), median(oursProcessor), median(catProcessor),
              overCatProcessor.empty() ? 0.0 : median(overCatProcessor),
              same    ? "yes"
              : omits ? "no (-c)"
                      : "NO");
}

// One row: the text written to a file and read back from disk, then a copy
// of it made with cp, each timed.
void runRow(const char* label, const std::string& input, const char* table, const char* iconvName,
            const std::string& directory) {
  std::string inputPath = directory + "/input", copyPath = directory + "/copy";
  if (!writeFile(inputPath, input) || !readBackFromDisk(inputPath)) {
    std::printf("%-34s cannot write and read back %s\n", label, inputPath.c_str());
    return;
  }
  std::size_t megabytes = input.size() >> 20;
  timeFile(std::string(label) + ", read back", inputPath, megabytes, table, iconvName, directory);
  std::string copy = "cp '" + inputPath + "' '" + copyPath + "'";
  if (std::system(copy.c_str()) != 0) {
    std::printf("%-34s cp failed\n", label);
    return;
  }
  timeFile(std::string(label) + ", cp copy", copyPath, megabytes, table, iconvName, directory);
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
  std::printf(
      "zelconv, iconv and cat as processes on files read back from disk and on cp copies,\n"
      "output to /dev/null; ms and ratios are medians of %d runs (wall, and processor: user + system)\n",
      ROUNDS);
  printLoad("before");
  std::printf("%-34s %4s %-3s %8s %8s %8s %10s %8s %8s %8s %8s  %s\n", "row", "MB", "", "ours", "iconv",
              "cat", "ours/iconv", "ours/cat", "ours cpu", "cat cpu", "ours/cat", "bytes = iconv");
  std::printf("%-34s %4s %-3s %8s %8s %8s %10s %8s %8s %8s %8s\n", "", "", "", "wall", "wall", "wall", "wall",
              "wall", "", "", "cpu");
  runRow("ASCII -> 1252", repeated(bench::ENGLISH, ASCII_BYTES), "1252", "CP1252", directory);
  for (const bench::Row& row : bench::ROWS)
    runRow(row.label, repeated(bench::text(row), ROW_BYTES), row.ours, row.iconvName, directory);
  printLoad("after");
  for (const char* name : {"/input", "/copy", "/ours", "/iconv"}) std::remove((directory + name).c_str());
  rmdir(directory.c_str());
  return 0;
}
