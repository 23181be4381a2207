#include "winservice/child_output.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "winservice/child_output_linger.h"
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

// One run's capture, shared by the supervising thread and the reader. The last
// of the two to let go frees it, so that the supervision never has to wait for
// a reader stuck in a write.
struct CaptureRun {
  HANDLE pipe = nullptr;        // the read end, overlapped
  HANDLE file = nullptr;        // "javaconsole.log", or none
  HANDLE copyTo = nullptr;      // the host's standard output in the debug command
  HANDLE readDone = nullptr;    // the overlapped read's event
  HANDLE childEnded = nullptr;  // set by endChildOutput
  HANDLE finished = nullptr;    // set by the reader once it is done with the run
  unsigned long long kept = 0;
  unsigned long long notKept = 0;
  bool endsWithLineEnd = true;
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
};

ChildOutput output;

// The host's reader: one thread for the host's whole life, started with the
// first run and handed each run in turn, with its read buffer made once. A new
// thread and buffer for every run would leave Wine's per-thread memory behind
// each time. Only while it is still busy with a run whose file does not take
// its bytes does a run get a thread of its own, which ends with that run.
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

// Keeps what arrived: the first CHILD_OUTPUT_KEPT_BYTES of the run in the
// file, the rest counted; in the debug command all of it on the console too.
void keep(CaptureRun* run, const char* data, DWORD length) {
  if (length == 0) return;
  DWORD written = 0;
  if (run->copyTo != nullptr && !writeOutput(run->copyTo, data, length, &written, nullptr))
    run->copyTo = nullptr;
  DWORD room = 0;
  if (run->file != nullptr && run->kept < CHILD_OUTPUT_KEPT_BYTES)
    room = static_cast<DWORD>(CHILD_OUTPUT_KEPT_BYTES - run->kept);
  DWORD taken = length < room ? length : room;
  if (taken > 0 && writeOutput(run->file, data, taken, &written, nullptr) && written == taken) {
    run->kept += taken;
    run->endsWithLineEnd = data[taken - 1] == '\n';
  } else if (taken > 0) {
    // A full disk: nothing more goes to the file, all is drained and counted.
    closeIfOpen(&run->file);
    taken = 0;
  }
  run->notKept += length - taken;
}

void writeCountLine(CaptureRun* run) {
  if (run->notKept == 0 || run->file == nullptr) return;
  char line[200];
  int length = std::snprintf(line, sizeof line,
                             "%s*** %llu more bytes of output were not kept: this file keeps the first %lu "
                             "bytes of each run ***\r\n",
                             run->endsWithLineEnd ? "" : "\r\n", run->notKept, CHILD_OUTPUT_KEPT_BYTES);
  DWORD written = 0;
  if (length > 0 && static_cast<std::size_t>(length) < sizeof line)
    writeOutput(run->file, line, static_cast<DWORD>(length), &written, nullptr);
}

DWORD bytesWaiting(HANDLE pipe) {
  DWORD waiting = 0;
  return PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) ? waiting : 0;
}

// One read into buffer: the bytes taken. *open turns false once no writer
// is left, or, after the child's end, when nothing came within
// LEFTOVER_READ_MS.
DWORD readOnce(CaptureRun* run, char* buffer, DWORD wanted, bool childEnded, bool* open) {
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
  DWORD waited = childEnded ? WaitForSingleObject(run->readDone, LEFTOVER_READ_MS)
                            : WaitForMultipleObjects(2, events, FALSE, INFINITE);
  if (waited != WAIT_OBJECT_0) CancelIo(run->pipe);
  bool done = GetOverlappedResult(run->pipe, &overlapped, &got, TRUE) != 0;
  *open = (done || GetLastError() == ERROR_OPERATION_ABORTED) && waited != WAIT_FAILED &&
          !(childEnded && waited == WAIT_TIMEOUT);
  return done ? got : 0;
}

// Reads until every writer has closed the pipe, or, once the child has ended,
// until what was in the pipe then has been taken: a process the application
// started may hold the write end for as long as it likes, and the pipe is
// then read on elsewhere, so that its writes do not fail.
void readRun(CaptureRun* run, char* buffer) {
  bool childEnded = false;
  DWORD left = 0;  // once the child has ended: what it left in the pipe
  for (bool open = true; open;) {
    if (!childEnded && WaitForSingleObject(run->childEnded, 0) == WAIT_OBJECT_0) {
      childEnded = true;
      left = bytesWaiting(run->pipe);
    }
    if (childEnded && left == 0) break;
    DWORD got = readOnce(run, buffer, childEnded && left < READ_SIZE ? left : READ_SIZE, childEnded, &open);
    keep(run, buffer, got);
    if (childEnded) left = got < left ? left - got : 0;
  }
  writeCountLine(run);
  DWORD waiting = 0;
  if (childEnded && PeekNamedPipe(run->pipe, nullptr, 0, nullptr, &waiting, nullptr)) {
    keepReadingAfterEnd(run->pipe);
    run->pipe = nullptr;
  }
  SetEvent(run->finished);
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

// "javaconsole.log" replaced for the new run; none when it cannot be written
// (a file an editor holds, a directory of that name): the output is dropped.
void openOutputFile(CaptureRun* run) {
  run->file = opened(CreateFileA(CHILD_OUTPUT_FILE, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                 nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  output.fileError = run->file == nullptr ? GetLastError() : 0;
  if (output.fileError == 0) return;
  char line[160];
  std::snprintf(line, sizeof line,
                "Cannot write %s (error %lu): the application's output is read and dropped",
                CHILD_OUTPUT_FILE, output.fileError);
  debugLog(line);
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
  SetEvent(run->childEnded);
  if (output.reading && WaitForSingleObject(run->finished, CHILD_OUTPUT_END_MS) != WAIT_OBJECT_0)
    debugLog("The application's output is still being written; it is left to finish by itself");
  output.reading = false;
  ULONGLONG ranMs = GetTickCount64() - output.startedAt;
  if (endedByItself && ranMs < CHILD_SHORT_RUN_MS) {
    char line[200];
    if (output.fileError == 0)
      std::snprintf(line, sizeof line, "Application ended %llu ms after its start: what it printed is in %s",
                    ranMs, CHILD_OUTPUT_FILE);
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
