// Benchmark, not a test: what capturing the application's output costs, and
// how much of it the pipe itself costs. The stand-in prints 100 MB on its
// standard output as fast as it can and times its own writing (from its first
// write to the return of its last, pattern making included); the host's memory
// is sampled from its Unix process while it captures 1 MB and 100 MB. Its
// output goes, one row each, rounds interleaved so that the machine's drift
// hits every row alike, to:
//   - the null device and a file on disk, started as the service host starts it;
//   - a pipe read by a bare reader of this program that only reads into its
//     buffer and drops what it got, anonymous (CreatePipe) or the host's kind
//     (a named pipe read overlapped), with the host's pipe and read sizes
//     unless the row says otherwise; and the host's kind read by a bare
//     reader that also keeps the tail as the host does (its ring of 512 KiB),
//     which is what keeping the end of a run costs beyond reading;
//   - the service host, as the service's application, into "javaconsole.log".
// Rows with other write sizes (a JVM's System.out writes up to 8 KiB) and
// other pipe and read sizes show what is in our hands. The host's capture is
// held to 1.15 times the bare reader of its kind of pipe ("x named"). Run it by hand under the
// build's Wine prefix, alone on the machine:
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
#include "winservice/output_keeping.h"

namespace e2e {
namespace {

constexpr int RUNS = 5;
constexpr long long BIG = 100LL * 1024 * 1024;
constexpr long long SMALL = 1024 * 1024;

// Milliseconds of the last "printed N bytes in M ms" line of the stand-in.
long lastPrintMs(const Installation& installation) {
  std::string log = readText(installation.workingDir + "\\standin.log");
  std::size_t at = log.rfind(" bytes in ");
  return at == std::string::npos ? -1 : std::strtol(log.c_str() + at + 10, nullptr, 10);
}

// The stand-in started as the host starts it, its output on out; the
// milliseconds it took to print.
long printInto(const Installation& installation, HANDLE out) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE nul = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                           0, nullptr);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = startup.hStdError = out;
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
  CloseHandle(nul);
  WaitForSingleObject(process.hProcess, 120000);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return lastPrintMs(installation);
}

long printToDevice(const Installation& installation, const char* path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << path << ": " << GetLastError();
    return -1;
  }
  long ms = printInto(installation, out);
  CloseHandle(out);
  return ms;
}

// The bare reader: reads until every writer has gone, into a buffer of
// readSize, and only counts.
struct BareReader {
  HANDLE pipe = nullptr;
  DWORD readSize = 0;
  bool overlapped = false;
  bool keepTail = false;
  unsigned long long got = 0;
  zaq::KeptOutput kept;
};

DWORD WINAPI readAndDrop(LPVOID argument) {
  auto* reader = static_cast<BareReader*>(argument);
  std::vector<char> buffer(reader->readSize);
  OVERLAPPED overlapped{};
  overlapped.hEvent = reader->overlapped ? CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
  for (;;) {
    DWORD got = 0;
    BOOL done = ReadFile(reader->pipe, buffer.data(), reader->readSize, reader->overlapped ? nullptr : &got,
                         reader->overlapped ? &overlapped : nullptr);
    if (reader->overlapped && (done || GetLastError() == ERROR_IO_PENDING))
      done = GetOverlappedResult(reader->pipe, &overlapped, &got, TRUE);
    if (!done) break;
    reader->got += got;
    if (reader->keepTail) zaq::keepOutput(&reader->kept, buffer.data(), got);
  }
  if (overlapped.hEvent != nullptr) CloseHandle(overlapped.hEvent);
  return 0;
}

enum class Sink { nullDevice, diskFile, anonymousPipe, namedPipe, namedPipeKeepingTail, host };

struct Row {
  const char* name;
  Sink sink;
  DWORD writeSize;
  DWORD pipeSize = 0;  // the bare pipes'
  DWORD readSize = 0;
};

// The pipe of the row: its read end, not inheritable, and its inheritable
// write end; the named one made as the host makes its own.
bool makePipe(const Row& row, HANDLE* readEnd, HANDLE* writeEnd) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (row.sink == Sink::anonymousPipe) {
    if (!CreatePipe(readEnd, writeEnd, &inherit, row.pipeSize)) return false;
    SetHandleInformation(*readEnd, HANDLE_FLAG_INHERIT, 0);
    return true;
  }
  static int counter = 0;
  std::string name =
      "\\\\.\\pipe\\capture-bench-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
  *readEnd = CreateNamedPipeA(
      name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, row.pipeSize, 0, nullptr);
  if (*readEnd == INVALID_HANDLE_VALUE) return false;
  *writeEnd =
      CreateFileA(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (*writeEnd != INVALID_HANDLE_VALUE) return true;
  CloseHandle(*readEnd);
  return false;
}

long printToBareReader(const Installation& installation, const Row& row) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!makePipe(row, &readEnd, &writeEnd)) {
    ADD_FAILURE() << row.name << ": " << GetLastError();
    return -1;
  }
  BareReader reader;
  reader.pipe = readEnd;
  reader.readSize = row.readSize;
  reader.overlapped = row.sink != Sink::anonymousPipe;
  reader.keepTail = row.sink == Sink::namedPipeKeepingTail;
  HANDLE thread = CreateThread(nullptr, 0, readAndDrop, &reader, 0, nullptr);
  long ms = printInto(installation, writeEnd);
  CloseHandle(writeEnd);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  CloseHandle(readEnd);
  EXPECT_EQ(reader.got, static_cast<unsigned long long>(BIG)) << row.name;
  EXPECT_EQ(reader.kept.total, reader.keepTail ? reader.got : 0) << row.name;
  return ms;
}

struct CapturedRun {
  long ms = -1;
  long hostBeforeKiB = -1;  // once the service runs, before much was printed
  long hostPeakKiB = -1;    // sampled every 20 ms while the stand-in prints
};

std::size_t printedRuns(const Installation& installation) {
  return countOf(readText(installation.workingDir + "\\standin.log"), "printed ");
}

CapturedRun printCaptured(const Installation& installation, std::size_t run) {
  CapturedRun result;
  if (!startService(installation.serviceName)) return result;
  std::string standinLog = installation.workingDir + "\\standin.log";
  // The host's process is looked for once: a walk over every process every
  // 20 ms would take from the machine what the host row is measured on.
  std::string host;
  for (int waited = 0; waited < 20000 && result.hostBeforeKiB < 0; waited += 20, Sleep(20)) {
    host = unixProcessOf(installation.program);
    result.hostBeforeKiB = unixFiguresAt(host).privateResident;
  }
  while (countOf(readText(standinLog), "printed ") < run) {
    result.hostPeakKiB = std::max(result.hostPeakKiB, unixFiguresAt(host).privateResident);
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

std::string printMode(long long bytes, DWORD writeSize) {
  return "print-bytes " + std::to_string(bytes) + "\nwrite-size " + std::to_string(writeSize) +
         "\nexit-after 0\n";
}

TEST(CaptureBench, HundredMegabytesCapturedAgainstABarePipeAndTheNullDevice) {
  constexpr DWORD KiB = 1024;
  constexpr DWORD MiB = 1024 * KiB;
  const std::vector<Row> rows = {
      {"null device", Sink::nullDevice, 64 * KiB},
      {"file on disk", Sink::diskFile, 64 * KiB},
      {"bare reader, anonymous pipe", Sink::anonymousPipe, 64 * KiB, MiB, MiB},
      {"bare reader, named pipe read overlapped", Sink::namedPipe, 64 * KiB, MiB, MiB},
      {"the same, keeping the tail", Sink::namedPipeKeepingTail, 64 * KiB, MiB, MiB},
      {"host capture", Sink::host, 64 * KiB},
      {"bare reader, anonymous pipe 64K, reads 64K", Sink::anonymousPipe, 64 * KiB, 64 * KiB, 64 * KiB},
      {"bare reader, anonymous pipe 8M, reads 8M", Sink::anonymousPipe, 64 * KiB, 8 * MiB, 8 * MiB},
      {"null device", Sink::nullDevice, 8 * KiB},
      {"bare reader, anonymous pipe", Sink::anonymousPipe, 8 * KiB, MiB, MiB},
      {"bare reader, named pipe read overlapped", Sink::namedPipe, 8 * KiB, MiB, MiB},
      {"the same, keeping the tail", Sink::namedPipeKeepingTail, 8 * KiB, MiB, MiB},
      {"host capture", Sink::host, 8 * KiB},
      {"null device", Sink::nullDevice, MiB},
      {"bare reader, anonymous pipe", Sink::anonymousPipe, MiB, MiB, MiB},
  };
  Installation installation = layOut("41", withStandinMode(printMode(BIG, 64 * KiB)));
  ASSERT_EQ(operatorCommand(installation, "-install").exitCode, 0u);
  std::string mode = installation.workingDir + "\\standin.mode";
  std::string diskFile = installation.workingDir + "\\bench-output.bin";
  long before = -1;
  long peakBig = -1;
  DWORD began = GetTickCount();
  std::vector<std::vector<long>> rowMs(rows.size());
  for (int round = 0; round < RUNS; ++round) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Row& row = rows[i];
      writeFile(mode, printMode(BIG, row.writeSize));
      long ms = -1;
      if (row.sink == Sink::nullDevice) ms = printToDevice(installation, "NUL");
      if (row.sink == Sink::diskFile) ms = printToDevice(installation, diskFile.c_str());
      if (row.sink == Sink::anonymousPipe || row.sink == Sink::namedPipe ||
          row.sink == Sink::namedPipeKeepingTail)
        ms = printToBareReader(installation, row);
      if (row.sink == Sink::host) {
        CapturedRun run = printCaptured(installation, printedRuns(installation) + 1);
        ms = run.ms;
        peakBig = std::max(peakBig, run.hostPeakKiB);
        before = run.hostBeforeKiB;
      }
      rowMs[i].push_back(ms);
    }
  }
  DeleteFileA(diskFile.c_str());
  writeFile(mode, printMode(SMALL, 64 * KiB));
  CapturedRun small = printCaptured(installation, printedRuns(installation) + 1);

  std::printf(
      "%d rounds of every row, interleaved, in %lu s; 100 MiB printed by the stand-in, which times its "
      "own writing; median of the rounds\n",
      RUNS, (GetTickCount() - began) / 1000);
  std::printf("%-46s %6s %8s %8s %8s %8s %8s  %s\n", "output to", "writes", "ms", "MB/s", "x null", "x pipe",
              "x named", "each round's ms");
  long nullMs = 0;
  long pipeMs = 0;
  long namedMs = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& row = rows[i];
    long ms = median(rowMs[i]);
    // The ratios are against the null device, the bare anonymous pipe and the
    // bare reader of the host's kind of pipe of the same write size, the rows
    // above: the last one is what the host's capture is held to.
    if (row.sink == Sink::nullDevice) {
      nullMs = ms;
      pipeMs = 0;
      namedMs = 0;
    }
    if (row.sink == Sink::anonymousPipe && row.pipeSize == MiB && row.readSize == MiB) pipeMs = ms;
    std::string each;
    for (long value : rowMs[i]) each += std::to_string(value) + " ";
    std::printf("%-46s %5luK %8ld %8.1f %8.2f %8.2f %8.2f  %s\n", row.name, row.writeSize / KiB, ms,
                megabytesPerSecond(BIG, ms), nullMs > 0 ? double(ms) / nullMs : 0.0,
                pipeMs > 0 ? double(ms) / pipeMs : 0.0, namedMs > 0 ? double(ms) / namedMs : 0.0,
                each.c_str());
    if (row.sink == Sink::namedPipe) namedMs = ms;
  }
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
