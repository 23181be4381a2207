#include "winservice/child_output.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "winservice/child_output_files.h"
#include "winservice/child_output_linger.h"
#include "winservice/output_keeping.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_state.h"

namespace zaq {

namespace {

// Under Wine each read and write of a pipe is a trip to its server: a pipe
// and reads of 1 MiB let a writer in a hurry go about twice as fast as 64 KiB.
constexpr DWORD PIPE_BUFFER_SIZE = 1024 * 1024;
constexpr DWORD READ_SIZE = 1024 * 1024;
// Once the child has ended, a read that does not complete within this time
// finds nothing more of the child's in the pipe.
constexpr DWORD LEFTOVER_READ_MS = 100;
// A pipe that neither ends nor brings a byte for this long after the child's
// end is held by a process the application started. Under Wine the child's
// own handles close a while after its end (over 100 ms on a busy machine).
constexpr DWORD HELD_PIPE_MS = 1000;
// How late the file may show the end of a run that has printed more than
// its head: the ring goes to the file at most this long after it changed.
constexpr DWORD TAIL_WRITE_MS = 1000;

// One run's capture, shared by the supervising thread and the reader. The last
// of the two to let go frees it, so that the supervision never has to wait for
// a reader stuck in a write.
struct CaptureRun {
  HANDLE pipe = nullptr;            // the read end, overlapped
  HANDLE file = nullptr;            // the run's file, or none
  unsigned long long fileBase = 0;  // where the run begins in it
  HANDLE copyTo = nullptr;          // the host's standard output in the debug command
  HANDLE readDone = nullptr;        // the overlapped read's event
  HANDLE childEnded = nullptr;      // set by endChildOutput, for a read that waits
  volatile LONG ended = 0;          // the same, for a look between reads that costs no wait
  HANDLE finished = nullptr;        // set by the reader once the run's file is complete
  KeptOutput kept;
  bool tailChanged = false;  // the ring holds what the file does not show yet
  ULONGLONG tailWrittenAt = 0;
  volatile LONG holders = 1;
};

// The supervising thread's side, for the child being created or running.
struct ChildOutput {
  STARTUPINFOEXA startup{};
  std::vector<unsigned char> attributes;     // storage of the handle list
  HANDLE childEnds[2] = {nullptr, nullptr};  // output's write end, input's read end
  // The write end of the child's standard input: kept for the run and never
  // written, so that a read waits as on a console nobody types into. The null
  // device would end the input at once, and an application that takes its
  // end for "quit" would be restarted every 30 seconds.
  HANDLE input = nullptr;
  CaptureRun* run = nullptr;
  bool reading = false;  // a reader has the run
  ULONGLONG startedAt = 0;
  DWORD fileError = 0;
  bool fileAdded = false;  // the run follows earlier ones in its file
};

ChildOutput output;

// The host's reader: one thread for the host's whole life, started with the
// first run and handed each run in turn, with its read buffer made once. A new
// thread and buffer for every run would leave Wine's per-thread memory behind
// each time. Only while it is still busy with a run whose file does not take
// its bytes, or still watches the pipe of a run that has just ended, does a
// run get a thread of its own, which ends with that run.
struct Reader {
  HANDLE thread = nullptr;
  HANDLE runPosted = nullptr;  // auto-reset: posted holds the next run
  CaptureRun* posted = nullptr;
  volatile LONG idle = 0;  // 1 while it waits for a run
};

Reader reader;
volatile LONG pipeCounter = 0;
ChildOutputWriter writeOutput = WriteFile;

void closeIfOpen(HANDLE* handle) {
  if (*handle != nullptr) CloseHandle(*handle);
  *handle = nullptr;
}

// Null for a file or pipe that could not be opened.
HANDLE opened(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

void release(CaptureRun* run) {
  if (InterlockedDecrement(&run->holders) != 0) return;
  closeIfOpen(&run->pipe);
  closeIfOpen(&run->file);
  closeIfOpen(&run->readDone);
  closeIfOpen(&run->childEnded);
  closeIfOpen(&run->finished);
  delete run;
}

void dropStartup() {
  closeIfOpen(&output.childEnds[0]);
  closeIfOpen(&output.childEnds[1]);
  if (output.startup.lpAttributeList != nullptr)
    DeleteProcThreadAttributeList(output.startup.lpAttributeList);
  output.startup = STARTUPINFOEXA{};
  output.attributes.clear();
}

// The pipes of a run: for its output an overlapped, inbound read end of our
// own and the child's inheritable write end, in output.childEnds[0]; for its
// input the child's inheritable read end, in output.childEnds[1], and our
// write end.
bool openPipes(CaptureRun* run) {
  char name[96];
  std::snprintf(name, sizeof name, "\\\\.\\pipe\\zaqservice-output-%lu-%ld", GetCurrentProcessId(),
                InterlockedIncrement(&pipeCounter));
  run->pipe = opened(
      CreateNamedPipeA(name, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, PIPE_BUFFER_SIZE, 0, nullptr));
  if (run->pipe == nullptr) return false;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  output.childEnds[0] =
      opened(CreateFileA(name, GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (output.childEnds[0] == nullptr || !CreatePipe(&output.childEnds[1], &output.input, nullptr, 0))
    return false;
  return SetHandleInformation(output.childEnds[1], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT) != 0;
}

// The startup record with the child's standard handles and the list of the
// handles it may inherit: no other handle of the host reaches the VM.
bool buildStartup(const STARTUPINFOA& base) {
  output.startup.StartupInfo = base;
  output.startup.StartupInfo.cb = sizeof output.startup;
  output.startup.StartupInfo.dwFlags |= STARTF_USESTDHANDLES;
  output.startup.StartupInfo.hStdInput = output.childEnds[1];
  output.startup.StartupInfo.hStdOutput = output.childEnds[0];
  output.startup.StartupInfo.hStdError = output.childEnds[0];
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  output.attributes.assign(size, 0);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(output.attributes.data());
  if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size)) return false;
  output.startup.lpAttributeList = list;
  return UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, output.childEnds,
                                   sizeof output.childEnds, nullptr, nullptr) != 0;
}

// Keeps what arrived in the run's file: the head at once, the tail through
// the ring (writeTail); in the debug command all of it on the console too.
void keep(CaptureRun* run, const char* data, DWORD length) {
  if (length == 0) return;
  DWORD written = 0;
  if (run->copyTo != nullptr && !writeOutput(run->copyTo, data, length, &written, nullptr))
    run->copyTo = nullptr;
  DWORD head = static_cast<DWORD>(keepOutput(&run->kept, data, length));
  // A full disk: nothing more goes to the file; the pipe is drained all the same.
  if (head > 0 && run->file != nullptr &&
      !(writeOutput(run->file, data, head, &written, nullptr) && written == head))
    closeIfOpen(&run->file);
  if (head < length) run->tailChanged = true;
}

bool writeAll(HANDLE file, const char* data, std::size_t length) {
  DWORD written = 0;
  return length == 0 ||
         (writeOutput(file, data, static_cast<DWORD>(length), &written, nullptr) && written == length);
}

// Puts the ring after the head, over what the last call put there, so that
// the file shows the end of a run while it runs, and keeps it if the host is
// ended.
void writeTail(CaptureRun* run) {
  run->tailChanged = false;
  run->tailWrittenAt = GetTickCount64();
  if (run->file == nullptr) return;
  OutputTail tail = outputTail(run->kept);
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(run->fileBase + OUTPUT_HEAD_BYTES);
  if (!SetFilePointerEx(run->file, at, nullptr, FILE_BEGIN) ||
      !writeAll(run->file, tail.line.data(), tail.line.size()) ||
      !writeAll(run->file, tail.first, tail.firstLength) ||
      !writeAll(run->file, tail.second, tail.secondLength) || !SetEndOfFile(run->file))
    closeIfOpen(&run->file);
}

DWORD bytesWaiting(HANDLE pipe) {
  DWORD waiting = 0;
  return PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) ? waiting : 0;
}

// One read into buffer: the bytes taken. *open turns false once no writer
// is left, or, after the child's end (afterEndMs not 0), when nothing came
// within afterEndMs.
DWORD readOnce(CaptureRun* run, char* buffer, DWORD wanted, DWORD afterEndMs, bool* open) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = run->readDone;
  DWORD got = 0;
  if (ReadFile(run->pipe, buffer, wanted, nullptr, &overlapped)) {
    *open = GetOverlappedResult(run->pipe, &overlapped, &got, FALSE) != 0;
    return *open ? got : 0;
  }
  if (GetLastError() != ERROR_IO_PENDING) {
    *open = false;  // every writer has gone
    return 0;
  }
  HANDLE events[2] = {run->readDone, run->childEnded};
  DWORD waited = WAIT_TIMEOUT;
  if (afterEndMs != 0)
    waited = WaitForSingleObject(run->readDone, afterEndMs);
  else
    // While the pipe is quiet, the file gets the tail.
    while ((waited = WaitForMultipleObjects(2, events, FALSE, run->tailChanged ? TAIL_WRITE_MS : INFINITE)) ==
           WAIT_TIMEOUT)
      writeTail(run);
  if (waited != WAIT_OBJECT_0) CancelIo(run->pipe);
  bool done = GetOverlappedResult(run->pipe, &overlapped, &got, TRUE) != 0;
  *open = (done || GetLastError() == ERROR_OPERATION_ABORTED) && waited != WAIT_FAILED &&
          !(afterEndMs != 0 && waited == WAIT_TIMEOUT);
  return done ? got : 0;
}

// After the run's end: a pipe that a process the application started still
// holds goes on being read elsewhere, so that its writes do not fail. What
// comes meanwhile is counted there: the run's file is complete.
void handOverIfHeld(CaptureRun* run, char* buffer) {
  bool open = true;
  DWORD got = readOnce(run, buffer, READ_SIZE, HELD_PIPE_MS, &open);
  DWORD waiting = 0;
  if (got == 0 && !PeekNamedPipe(run->pipe, nullptr, 0, nullptr, &waiting, nullptr)) return;
  keepReadingAfterEnd(run->pipe, got);
  run->pipe = nullptr;
}

// Reads until every writer has closed the pipe, or, once the child has ended,
// until what was in the pipe then has been taken: a process the application
// started may hold the write end for as long as it likes.
void readRun(CaptureRun* run, char* buffer) {
  bool childEnded = false;
  DWORD left = 0;  // once the child has ended: what it left in the pipe
  for (bool open = true; open;) {
    if (!childEnded && InterlockedOr(&run->ended, 0) != 0) {
      childEnded = true;
      left = bytesWaiting(run->pipe);
    }
    if (childEnded && left == 0) break;
    DWORD got = readOnce(run, buffer, childEnded && left < READ_SIZE ? left : READ_SIZE,
                         childEnded ? LEFTOVER_READ_MS : 0, &open);
    keep(run, buffer, got);
    if (run->tailChanged && GetTickCount64() - run->tailWrittenAt >= TAIL_WRITE_MS) writeTail(run);
    if (childEnded) left = got < left ? left - got : 0;
  }
  if (run->tailChanged) writeTail(run);
  closeIfOpen(&run->file);  // complete: the next start moves it on
  SetEvent(run->finished);
  if (childEnded) handOverIfHeld(run, buffer);
  release(run);
}

DWORD WINAPI readRuns(LPVOID) {
  std::vector<char> buffer(READ_SIZE);
  for (;;) {
    if (WaitForSingleObject(reader.runPosted, INFINITE) != WAIT_OBJECT_0) return 1;
    readRun(reader.posted, buffer.data());
    InterlockedExchange(&reader.idle, 1);
  }
}

DWORD WINAPI readOneRun(LPVOID argument) {
  std::vector<char> buffer(READ_SIZE);
  readRun(static_cast<CaptureRun*>(argument), buffer.data());
  return 0;
}

// Hands the run to the host's reader, or to a thread of its own while that
// one is busy: false when no thread could take it.
bool startReading(CaptureRun* run) {
  if (reader.thread == nullptr) {
    if (reader.runPosted == nullptr) reader.runPosted = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    reader.idle = 1;
    if (reader.runPosted != nullptr) reader.thread = CreateThread(nullptr, 0, readRuns, nullptr, 0, nullptr);
  }
  if (reader.thread != nullptr && InterlockedCompareExchange(&reader.idle, 0, 1) == 1) {
    reader.posted = run;
    if (SetEvent(reader.runPosted)) return true;
    reader.idle = 1;
  }
  HANDLE thread = CreateThread(nullptr, 0, readOneRun, run, 0, nullptr);
  if (thread == nullptr) return false;
  CloseHandle(thread);
  return true;
}

void openOutputFile(CaptureRun* run) {
  RunFile file = openRunFile();
  run->file = file.file;
  run->fileBase = file.base;
  output.fileError = file.error;
  output.fileAdded = file.base > 0;
}

}  // namespace

ChildStartup beginChildOutput(STARTUPINFOA* base) {
  ChildStartup child;
  child.startup = base;
  auto* run = new CaptureRun;
  run->readDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  run->childEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  run->finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (run->readDone == nullptr || run->childEnded == nullptr || run->finished == nullptr || !openPipes(run) ||
      !buildStartup(*base)) {
    char line[120];
    std::snprintf(line, sizeof line, "No capture of the application's output (error %lu)", GetLastError());
    debugLog(line);
    dropStartup();
    closeIfOpen(&output.input);
    release(run);
    return child;
  }
  output.run = run;
  child.startup = &output.startup.StartupInfo;
  child.inheritHandles = TRUE;
  child.creationFlags = EXTENDED_STARTUPINFO_PRESENT;
  return child;
}

void childOutputCreated(bool created) {
  DWORD error = GetLastError();
  dropStartup();
  CaptureRun* run = output.run;
  if (run != nullptr && created) {
    output.startedAt = GetTickCount64();
    openOutputFile(run);
    HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
    if (hostState.debugMode != 0 && console != INVALID_HANDLE_VALUE) run->copyTo = console;
    run->holders = 2;
    output.reading = startReading(run);
    if (!output.reading) {
      // Without a reader the child would block on a full pipe: closing our
      // end makes its writes fail instead.
      run->holders = 1;
      closeIfOpen(&run->pipe);
    }
  } else if (run != nullptr) {
    closeIfOpen(&output.input);
    release(run);
    output.run = nullptr;
  }
  SetLastError(error);
}

void setChildOutputWriter(ChildOutputWriter writer) {
  writeOutput = writer != nullptr ? writer : WriteFile;
}

void endChildOutput(bool endedByItself) {
  CaptureRun* run = output.run;
  if (run == nullptr) return;
  output.run = nullptr;
  // What the application started and left its input to reads its end now.
  closeIfOpen(&output.input);
  InterlockedExchange(&run->ended, 1);
  SetEvent(run->childEnded);
  if (output.reading && WaitForSingleObject(run->finished, CHILD_OUTPUT_END_MS) != WAIT_OBJECT_0)
    debugLog("The application's output is still being written; it is left to finish by itself");
  output.reading = false;
  ULONGLONG ranMs = GetTickCount64() - output.startedAt;
  if (endedByItself && ranMs < CHILD_SHORT_RUN_MS) {
    char line[200];
    if (output.fileError == 0)
      std::snprintf(line, sizeof line, "Application ended %llu ms after its start: what it printed is %s %s",
                    ranMs, output.fileAdded ? "at the end of" : "in", CHILD_OUTPUT_FILE);
    else
      std::snprintf(
          line, sizeof line,
          "Application ended %llu ms after its start; what it printed could not be kept in %s (error "
          "%lu)",
          ranMs, CHILD_OUTPUT_FILE, output.fileError);
    debugLog(line);
  }
  release(run);
}

}  // namespace zaq
