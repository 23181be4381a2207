// The one process-wide record of the service host: identity, the Java command
// line, log paths, the debug log, the catalog handle, flags, service handles
// and status, the child process and the text buffers. Every field starts zeroed
// or empty; paths and texts live until the process ends.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "winservice/launch_kind.h"
#include "zel/catalogs.h"

namespace zaq {

constexpr std::size_t INSTANCE_ID_SIZE = 128;
constexpr std::size_t DISPLAY_NAME_SIZE = 512;
constexpr std::size_t WORKING_DIRECTORY_SIZE = 1024;
constexpr std::size_t MESSAGE_TEXT_SIZE = 4096;
constexpr std::size_t ERROR_TEXT_SIZE = 256;

struct ServiceHostState {
  zel::CatalogHandle messageCatalog = 0;  // catopen's handle for "winServCMessages"; -1: none
  LaunchKind launchKind = LAUNCH_SERVER;
  std::int32_t defaultLogCmdPort = 0;  // 1952 agent, 1953 server
  std::string serviceName;             // key name in the Service Control Manager
  char displayName[DISPLAY_NAME_SIZE] = {};
  char instanceId[INSTANCE_ID_SIZE] = {};  // empty for the default instance
  char workingDirectory[WORKING_DIRECTORY_SIZE] = {};
  DWORD workingDirectoryError = 0;  // why it could not be made current; 0: it is
  std::string shutdownFilePath;
  std::string configFilePath;
  std::string javaCommand;
  std::string traceLogPath;    // empty: no trace record is written anywhere
  std::string messageLogPath;  // always set by main
  std::FILE* debugLogFile = nullptr;
  int debugMode = 0;
  // Set to 1 by the stop under hostSync.childGuard, and by the service thread
  // when the application cannot be started; cleared by armStop under
  // hostSync.stopGuard; read by the service thread without a guard.
  volatile LONG stopRequested = 0;
  // The stop sequence was set in motion, or the supervision has ended; under
  // hostSync.stopGuard.
  volatile LONG stopBegun = 0;
  SERVICE_STATUS serviceStatus = {};  // under hostSync.statusGuard while the service runs
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  HANDLE eventSource = nullptr;
  // Made by the service thread as the supervision starts; set by the stop, and
  // set and closed by the service thread as the supervision ends, under
  // hostSync.childGuard.
  HANDLE stopEvent = nullptr;
  // Written by the service thread under hostSync.childGuard; other threads
  // read it only under the guard.
  PROCESS_INFORMATION childProcess = {};
  char messageText[MESSAGE_TEXT_SIZE] = {};
  char errorText[ERROR_TEXT_SIZE] = {};
};

extern ServiceHostState hostState;

// The host's threads: the main thread (start-up, then the dispatcher, which
// runs ServiceControl); the service thread (ServiceMain and the supervision,
// which runs on the main thread in the debug command); the stop thread
// (finishStop, started by the first beginStop); the threads the system makes
// for console control events (logoffHandler, ControlHandler); and the reader
// of the child's output. What they meet on besides hostState: the guards and
// events of the stop and the status, and the values only a guard's holder
// touches. Not reset with hostState: the guards and events live as long as
// the process.
struct ServiceHostSync {
  // Guards hostState.serviceStatus and acceptedControls. Reports come from the
  // service thread, the thread that asked for the stop (its first report) and
  // the stop thread; each is stored and sent under it, so that they reach the
  // manager in the order their states were stored and none follows
  // SERVICE_STOPPED. They follow one another anyway: the stop's first report
  // is made before its thread exists, and the supervision's last one after
  // that thread has ended.
  SRWLOCK statusGuard = SRWLOCK_INIT;
  // The controls a running service accepts. The preshutdown notice (a system
  // shutdown notice that comes early and waits while the stop reports
  // progress) is dropped, under statusGuard, by whichever thread's report the
  // system refused (before Windows Vista).
  DWORD acceptedControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;
  // Guards hostState.stopBegun (armStop and endStops on the service thread,
  // beginStop on the thread that asks for the stop) and the reset of stopEnded.
  SRWLOCK stopGuard = SRWLOCK_INIT;
  // Manual reset. Reset by the first beginStop under stopGuard; set by the stop
  // thread when the stop has ended, or by endStops when the supervision ended
  // without one. Console-control threads and endStops wait on it.
  HANDLE stopEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Set by the service thread when ServiceMain returns; the main thread waits
  // on it after the dispatcher has returned.
  HANDLE serviceMainEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Guards hostState.childProcess between the service thread, which alone
  // creates and closes the child's handles, and a stopping thread, which works
  // on duplicates taken under the guard: a handle value closed by one thread
  // may be reused by the system, so the other must never use it afterwards.
  // Also guards childKilled, the stop's setting of hostState.stopRequested with
  // hostState.stopEvent, and the service thread's closing of that event, so
  // that the child's creation and a stop each see the other.
  SRWLOCK childGuard = SRWLOCK_INIT;
  // Set under childGuard when a termination request of the host reached the
  // running child, by whichever thread made it (stop thread, or the service
  // thread after the application's own shutdown file); cleared by the service
  // thread before each child.
  bool childKilled = false;
};

extern ServiceHostSync hostSync;

// File-scope state left where it is used, each owned by one thread:
// - findRecord (utils_find.cpp): the last directory entry found; main thread,
//   while it lists the jar directories at start-up.
// - the job of childJob() (service_supervision.cpp): made once, on the first
//   child's creation, by the service thread (the main thread in the debug
//   command), and never closed.
// - output, reader and pipeCounter (child_output.cpp): the capture of the
//   child's output. output is the service thread's; reader is the service
//   thread's and the reader thread's, which meet on its runPosted event and
//   its interlocked idle flag; pipeCounter, which names each run's pipe, is
//   taken by interlocked increment on the service thread; writeOutput, the
//   readers' file writer, is set only by tests before any run starts.
// - lingering (child_output_linger.cpp): the pipes of ended runs that a
//   process the application started still writes to. The readers of runs
//   hand pipes over, and make its thread, under its guard; that thread alone
//   reads and closes them.

}  // namespace zaq
