// The one process-wide record of the service host: identity, the Java command
// line, log paths, the debug log, the catalog handle, flags, service handles
// and status, the child process and the text buffers. Every field starts zeroed
// or empty; paths and texts live until the process ends.
#pragma once

#include <windows.h>

#include <atomic>
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

// The file whose appearance in the working directory asks the application to end.
constexpr char SHUTDOWN_FILE[] = "shutdown";

// A manual-reset event, not set; null with *error set when it cannot be made.
HANDLE makeEvent(DWORD* error);

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
  SERVICE_STATUS serviceStatus = {};  // under hostSync.statusGuard while the service runs
  SERVICE_STATUS_HANDLE statusHandle = nullptr;
  HANDLE eventSource = nullptr;
  // The running Java child: the service thread's alone, from its creation to
  // the closing of its handles.
  PROCESS_INFORMATION childProcess = {};
  char messageText[MESSAGE_TEXT_SIZE] = {};
  char errorText[ERROR_TEXT_SIZE] = {};
};

extern ServiceHostState hostState;

// Who owns what. The threads: the main thread (start-up, then the dispatcher,
// which runs ServiceControl); the service thread (ServiceMain and the
// supervision; the main thread in the debug command); the threads the system
// makes for console control events (logoffHandler, ControlHandler); and the
// reader of the child's output, which the service thread feeds.
// - hostState is filled by the main thread before any other thread exists and
//   only read afterwards, except serviceStatus (below); statusHandle and
//   eventSource, set by the service thread before its first report;
//   childProcess, the service thread's alone; and the command buffers, the
//   main thread's.
// - A stop is asked for by a handler, which returns at once, and carried out
//   by the service thread alone: the grace, the kill, the clean-up, the last
//   words and the final SERVICE_STOPPED.
// Not reset with hostState: these live as long as the process.
struct ServiceHostSync {
  // Guards hostState.serviceStatus and acceptedControls: each report is stored
  // and sent under it, so that reports reach the manager in the order their
  // states were stored and none follows SERVICE_STOPPED. The requester of a
  // stop reports STOP_PENDING once; the service thread reports the rest.
  SRWLOCK statusGuard = SRWLOCK_INIT;
  // The controls a running service accepts. The preshutdown notice (a system
  // shutdown notice that comes early and waits while the stop reports
  // progress) is dropped, under statusGuard, by whichever thread's report the
  // system refused (before Windows Vista).
  DWORD acceptedControls = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN;
  // Set by the first requester of a stop (an exchange: later ones see it set
  // and leave); read by the service thread.
  std::atomic<bool> stopRequested{false};
  // Set by the service thread as its supervision ends; a requester that finds
  // it set asks for nothing more. Each of the two flags is written before the
  // other is read, so at least one side sees the other.
  std::atomic<bool> supervisionEnded{false};
  // CreateEventA's error when an event below could not be made, else 0.
  DWORD eventsError = 0;
  // Manual reset, never reset while the process runs: set by the requester
  // once it has asked (message 5, STOP_PENDING, the "shutdown" file). The
  // service thread waits on it with the child and the working directory.
  HANDLE stopEvent = makeEvent(&eventsError);
  // Manual reset: set after the service's final report. Console handlers for
  // events after which the system ends the process wait on it.
  HANDLE serviceEnded = makeEvent(&eventsError);
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
// - catalogGuard (utils_catalog.cpp): every catalog lookup of the host's
//   threads is made under it, one at a time.
// - appendGuard (vqm_logging.cpp): every log record is written under it.
// - sendStatus (service_status.cpp) and seam (service_supervision.cpp): what
//   sends the status and where a test acts; set only by tests, while no
//   service runs.
// - lingering (child_output_linger.cpp): the pipes of ended runs that a
//   process the application started still writes to. The readers of runs
//   hand pipes over, and make its thread, under its guard; that thread alone
//   reads and closes them.

}  // namespace zaq
