// Benchmark, not a test: what capturing the application's output costs. The
// stand-in prints 100 MB on its standard output as fast as it can, once with
// the output on the null device (started as the service host starts it) and
// once as the service's application, captured into "javaconsole.log"; it times
// its own writing. The host's memory is sampled from its Unix process while
// it captures 1 MB and 100 MB. Run it by hand under the build's Wine prefix:
//   cmake/wine-run win64 build/windows64/tests/e2e/capture_bench.exe
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace e2e {
namespace {

constexpr int RUNS = 3;
constexpr long long BIG = 100LL * 1024 * 1024;
constexpr long long SMALL = 1024 * 1024;

// Milliseconds of the last "printed N bytes in M ms" line of the stand-in.
long lastPrintMs(const Installation& installation) {
  std::string log = readText(installation.workingDir + "\\standin.log");
  std::size_t at = log.rfind(" bytes in ");
  return at == std::string::npos ? -1 : std::strtol(log.c_str() + at + 10, nullptr, 10);
}

// Private (anonymous) resident memory of the Unix process running program, in KiB.
long privateResidentKiB(const std::string& program) {
  long found = -1;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    std::string pid = entry.cFileName;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (readFile("Z:\\proc\\" + pid + "\\cmdline").find(program) == std::string::npos) continue;
    std::string status = readFile("Z:\\proc\\" + pid + "\\status");
    std::size_t at = status.find("RssAnon:");
    if (at != std::string::npos) found = std::strtol(status.c_str() + at + 8, nullptr, 10);
    break;
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

// The stand-in started as the host starts it, its output on the null device.
long printToNull(const Installation& installation) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
  std::string launcher = installation.root + "\\_jvm\\bin\\java.exe";
  std::string line = launcher + " -classpath x Main";
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                      CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | IDLE_PRIORITY_CLASS, nullptr,
                      installation.workingDir.c_str(), &startup, &process)) {
    ADD_FAILURE() << "CreateProcessA: " << GetLastError();
    CloseHandle(nul);
    return -1;
  }
  WaitForSingleObject(process.hProcess, 120000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  CloseHandle(nul);
  return lastPrintMs(installation);
}

struct CapturedRun {
  long ms = -1;
  long hostBeforeKiB = -1;  // once the service runs, before much was printed
  long hostPeakKiB = -1;    // sampled every 20 ms while the stand-in prints
};

CapturedRun printCaptured(const Installation& installation, std::size_t run) {
  CapturedRun result;
  if (!startService(installation.serviceName)) return result;
  std::string standinLog = installation.workingDir + "\\standin.log";
  for (int waited = 0; waited < 20000 && result.hostBeforeKiB < 0; waited += 20, Sleep(20))
    result.hostBeforeKiB = privateResidentKiB(installation.program);
  while (countOf(readText(standinLog), "printed ") < run) {
    result.hostPeakKiB = std::max(result.hostPeakKiB, privateResidentKiB(installation.program));
    Sleep(20);
  }
  result.ms = lastPrintMs(installation);
  stopService(installation.serviceName);
  return result;
}

double megabytesPerSecond(long long bytes, long ms) {
  return ms <= 0 ? 0 : bytes / 1048576.0 / (ms / 1000.0);
}

long median(std::vector<long> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

TEST(CaptureBench, HundredMegabytesCapturedAgainstTheNullDevice) {
  Installation installation =
      layOut("41", withStandinMode("print-bytes " + std::to_string(BIG) + "\nexit-after 0\n"));
  std::vector<long> toNull;
  for (int i = 0; i < RUNS; ++i) toNull.push_back(printToNull(installation));
  ASSERT_EQ(operatorCommand(installation, "-install").exitCode, 0u);
  std::size_t printedSoFar = standinStarts(installation).size();
  std::vector<long> captured;
  long peakBig = -1;
  long before = -1;
  for (int i = 0; i < RUNS; ++i) {
    CapturedRun run = printCaptured(installation, ++printedSoFar);
    captured.push_back(run.ms);
    peakBig = std::max(peakBig, run.hostPeakKiB);
    before = run.hostBeforeKiB;
  }
  writeFile(installation.workingDir + "\\standin.mode",
            "print-bytes " + std::to_string(SMALL) + "\nexit-after 0\n");
  CapturedRun small = printCaptured(installation, ++printedSoFar);

  for (int i = 0; i < RUNS; ++i)
    std::printf("run %d: null device %ld ms (%.1f MB/s), captured %ld ms (%.1f MB/s)\n", i + 1, toNull[i],
                megabytesPerSecond(BIG, toNull[i]), captured[i], megabytesPerSecond(BIG, captured[i]));
  long nullMs = median(toNull);
  long capturedMs = median(captured);
  std::printf("median: null device %ld ms, captured %ld ms: the writer takes %+.1f%% with the capture\n",
              nullMs, capturedMs, nullMs > 0 ? (capturedMs - nullMs) * 100.0 / nullMs : 0.0);
  std::printf(
      "host private resident memory: %ld KiB at the start of a run; peak %ld KiB while capturing 1 MB, "
      "%ld KiB while capturing 100 MB\n",
      before, small.hostPeakKiB, peakBig);
  std::printf("javaconsole.log after the last run: %zu bytes\n",
              readFile(installation.workingDir + "\\javaconsole.log").size());
  std::fflush(stdout);
  tearDown(installation);
}

}  // namespace
}  // namespace e2e
