#include "winservice/child_output_linger.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "winservice/service_debuglog.h"

namespace zaq {

namespace {

struct LingeringPipe {
  HANDLE pipe = nullptr;
  OVERLAPPED overlapped{};  // its event is set when the read in flight completes
  unsigned long long got = 0;
  char buffer[LINGERING_READ_SIZE];
};

// Met by the threads that hand pipes over (the readers of runs) and the
// lingering reader, under guard.
struct HandedPipe {
  HANDLE pipe;
  unsigned long long counted;
};

struct Lingering {
  SRWLOCK guard = SRWLOCK_INIT;
  HANDLE thread = nullptr;  // made by the first hand-over, lives as long as the host
  HANDLE handed = nullptr;  // auto-reset: handedOver holds pipes
  std::vector<HandedPipe> handedOver;
};

Lingering lingering;

// Starts the next read; its completion, at once or later, sets the event.
// false when no writer is left, or the pipe fails.
bool readNext(LingeringPipe* pipe) {
  if (ReadFile(pipe->pipe, pipe->buffer, sizeof pipe->buffer, nullptr, &pipe->overlapped)) return true;
  return GetLastError() == ERROR_IO_PENDING;
}

// For a pipe without a read in flight.
void finish(LingeringPipe* pipe) {
  if (pipe->got > 0) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "A process the application started printed %llu bytes after the application ended; they "
                  "were read and not kept",
                  pipe->got);
    debugLog(line);
  }
  CloseHandle(pipe->overlapped.hEvent);
  CloseHandle(pipe->pipe);
}

// The pipes handed over since the last look join the ones being read; over
// the bound, the oldest are let go.
void takeHandedOver(std::vector<std::unique_ptr<LingeringPipe>>* pipes) {
  std::vector<HandedPipe> taken;
  AcquireSRWLockExclusive(&lingering.guard);
  taken.swap(lingering.handedOver);
  ReleaseSRWLockExclusive(&lingering.guard);
  for (const HandedPipe& handed : taken) {
    if (pipes->size() == LINGERING_PIPES_MAX) {
      LingeringPipe* oldest = pipes->front().get();
      CancelIo(oldest->pipe);
      DWORD ignored = 0;
      GetOverlappedResult(oldest->pipe, &oldest->overlapped, &ignored, TRUE);
      oldest->got += ignored;
      char line[200];
      std::snprintf(line, sizeof line,
                    "Processes the application started hold the output of more than %lu ended runs: the "
                    "oldest is no longer read, and their writes to it fail",
                    LINGERING_PIPES_MAX);
      debugLog(line);
      finish(oldest);
      pipes->erase(pipes->begin());
    }
    auto pipe = std::make_unique<LingeringPipe>();
    pipe->pipe = handed.pipe;
    pipe->got = handed.counted;
    pipe->overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (pipe->overlapped.hEvent != nullptr && readNext(pipe.get()))
      pipes->push_back(std::move(pipe));
    else if (pipe->overlapped.hEvent != nullptr)
      finish(pipe.get());
    else
      CloseHandle(handed.pipe);
  }
}

DWORD WINAPI readLingering(LPVOID) {
  std::vector<std::unique_ptr<LingeringPipe>> pipes;
  std::vector<HANDLE> events;
  for (;;) {
    events.assign(1, lingering.handed);
    for (const auto& pipe : pipes) events.push_back(pipe->overlapped.hEvent);
    DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, INFINITE);
    if (waited == WAIT_OBJECT_0) takeHandedOver(&pipes);
    // Every pipe whose read has completed, so that a busy one starves none.
    for (std::size_t i = 0; i < pipes.size();) {
      LingeringPipe* pipe = pipes[i].get();
      if (waited != WAIT_FAILED && !HasOverlappedIoCompleted(&pipe->overlapped)) {
        ++i;
        continue;
      }
      DWORD got = 0;
      bool open = waited != WAIT_FAILED && GetOverlappedResult(pipe->pipe, &pipe->overlapped, &got, FALSE);
      pipe->got += got;
      if (open && readNext(pipe)) {
        ++i;
        continue;
      }
      if (waited == WAIT_FAILED) {
        // Never seen: let every pipe go rather than spin.
        CancelIo(pipe->pipe);
        GetOverlappedResult(pipe->pipe, &pipe->overlapped, &got, TRUE);
      }
      finish(pipe);
      pipes.erase(pipes.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
}

}  // namespace

bool keepReadingAfterEnd(HANDLE pipe, unsigned long long counted) {
  AcquireSRWLockExclusive(&lingering.guard);
  if (lingering.thread == nullptr) {
    if (lingering.handed == nullptr) lingering.handed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (lingering.handed != nullptr)
      lingering.thread = CreateThread(nullptr, 0, readLingering, nullptr, 0, nullptr);
  }
  bool taken = lingering.thread != nullptr;
  if (taken) lingering.handedOver.push_back({pipe, counted});
  ReleaseSRWLockExclusive(&lingering.guard);
  if (!taken) {
    char line[120];
    std::snprintf(line, sizeof line,
                  "No reader for the output of what the application left running (error %lu)",
                  GetLastError());
    debugLog(line);
    CloseHandle(pipe);
    return false;
  }
  SetEvent(lingering.handed);
  return true;
}

}  // namespace zaq
