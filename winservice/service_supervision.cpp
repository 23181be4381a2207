#include "winservice/service_supervision.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "winservice/java_command.h"
#include "winservice/message_table.h"
#include "winservice/service_control.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_identity.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"

namespace zaq {

namespace {

constexpr char SHUTDOWN_FILE[] = "shutdown";
constexpr char LOCK_FILE[] = "lock";
// No window, its own process group, idle priority.
constexpr DWORD CHILD_CREATION_FLAGS = CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | IDLE_PRIORITY_CLASS;

// Guards hostState.childProcess between the supervising thread, which alone
// creates and closes the child's handles, and a stopping thread, which works
// on duplicates taken under the guard: a handle value closed by one thread may
// be reused by the system, so the other must never use it afterwards. The
// stop's setting of hostState.stopRequested and the child's creation also
// take it, so that each of the two sees the other.
SRWLOCK childGuard = SRWLOCK_INIT;

void debugLine(const char* text) {
  if (hostState.debugLogFile != nullptr) debugLog(text);
}

void deleteChildFiles() {
  DeleteFileA(SHUTDOWN_FILE);
  DeleteFileA(LOCK_FILE);
}

bool shutdownFilePresent() {
  std::FILE* file = std::fopen(SHUTDOWN_FILE, "r");
  if (file == nullptr) return false;
  debugLine("Application initiated shutdown detected, waiting five seconds for exit");
  std::fclose(file);
  return true;
}

// The job that ends the application with the host: the system ends every
// process in it when its last handle goes, which the host's own end closes
// however it comes (a kill, a crash, a console closed while the application
// ignores "shutdown"). Only the application is put in it; what the application
// starts breaks away silently and lives as long as it would without the job
// (an updater that stops and starts the service must survive the stop). The
// handle is never closed: that would end the running application. Null when
// the system gives no such job.
HANDLE childJob() {
  static HANDLE job = [] {
    HANDLE created = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (created != nullptr &&
        !SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      DWORD error = GetLastError();
      CloseHandle(created);
      SetLastError(error);
      created = nullptr;
    }
    return created;
  }();
  return job;
}

// Puts the child, created suspended, in the job and lets it run. A refused
// assignment (before Windows 8 a process in a job of its launcher cannot be
// put in a second one) only costs the containment: the child runs all the
// same. false, with the child ended and its handles closed, when it cannot be
// resumed: a suspended child would be left behind.
bool containAndResume(const PROCESS_INFORMATION& child) {
  HANDLE job = childJob();
  if (job == nullptr || !AssignProcessToJobObject(job, child.hProcess)) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "No job object for the application (error %lu): it may outlive the service host",
                  GetLastError());
    debugLine(line);
  }
  if (ResumeThread(child.hThread) != static_cast<DWORD>(-1)) return true;
  DWORD error = GetLastError();
  TerminateProcess(child.hProcess, KILLED_EXIT_CODE);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  SetLastError(error);
  return false;
}

// Creates the child into hostState.childProcess unless a stop was asked for,
// all under the guard: a stop either comes first, and no child is created, or
// finds the child published, in its job and running. false with *stopFirst
// when the stop came first, without it when the creation failed (GetLastError
// tells why).
bool createChild(const char* command, bool* stopFirst) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  // CreateProcessA may write into the command line: give it a copy.
  std::string commandLine = command;
  AcquireSRWLockExclusive(&childGuard);
  *stopFirst = hostState.stopRequested != 0;
  bool created = false;
  if (!*stopFirst) {
    deleteChildFiles();
    debugLine("Creating application process.");
    // Windows refuses a longer line with an error that varies (206, or 87
    // under Wine): message 19 gives the one that says why.
    if (commandLine.size() > COMMAND_LINE_LIMIT)
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
    else
      // Suspended until it is in the job, so that it starts nothing outside it.
      created = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                               CHILD_CREATION_FLAGS | CREATE_SUSPENDED, nullptr, nullptr, &startup,
                               &hostState.childProcess) != 0 &&
                containAndResume(hostState.childProcess);
    if (!created) hostState.childProcess = PROCESS_INFORMATION{};
  }
  DWORD error = GetLastError();
  ReleaseSRWLockExclusive(&childGuard);
  SetLastError(error);
  return created;
}

void closeChild() {
  AcquireSRWLockExclusive(&childGuard);
  CloseHandle(hostState.childProcess.hProcess);
  CloseHandle(hostState.childProcess.hThread);
  hostState.childProcess = PROCESS_INFORMATION{};
  ReleaseSRWLockExclusive(&childGuard);
}

// The stopping thread's own copies of the running child's handles; false when
// no child runs.
bool duplicateChild(HANDLE* process, HANDLE* thread) {
  AcquireSRWLockShared(&childGuard);
  bool running = hostState.childProcess.hThread != nullptr;
  if (running) {
    HANDLE self = GetCurrentProcess();
    running = DuplicateHandle(self, hostState.childProcess.hThread, self, thread, 0, FALSE,
                              DUPLICATE_SAME_ACCESS) != 0;
    if (running && !DuplicateHandle(self, hostState.childProcess.hProcess, self, process, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS))
      *process = nullptr;
  }
  ReleaseSRWLockShared(&childGuard);
  return running;
}

// The termination request through process, with its log lines and message.
bool killThrough(HANDLE process) {
  traceRecord("killServiceApp", "ENTRY");
  debugLine("Sending application termination signal");
  if (process != nullptr && TerminateProcess(process, KILLED_EXIT_CODE)) {
    debugLine("Application terminated");
    traceRecord("killServiceApp", "EXIT - TRUE");
    return true;
  }
  debugLine("Application termination failed!");
  emitMessage(MSG_LOGGED_ERROR, "killServiceApp", MSG_TERMINATE_PROCESS_FAILED,
              hostState.serviceName.c_str());
  traceRecord("killServiceApp", "EXIT - FALSE", hostState.displayName);
  return false;
}

// The child's exit code tells a kill (999) from a JVM that failed at start (1)
// or one that crashed. The watch saw the primary thread end, or gave up one
// poll after a kill: the process itself may take a moment more.
void logChildExit() {
  HANDLE process = hostState.childProcess.hProcess;
  DWORD code = STILL_ACTIVE;
  char line[96];
  if (WaitForSingleObject(process, CHILD_POLL_MS) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code) &&
      code != STILL_ACTIVE)
    std::snprintf(line, sizeof line, "Application exited with exit code %lu",
                  static_cast<unsigned long>(code));
  else
    std::snprintf(line, sizeof line, "Application exited, exit code not known yet");
  debugLine(line);
}

// Waits on the child until it has ended, granting five seconds and then
// killing it when a shutdown file appears.
void watchChild() {
  bool killed = false;
  for (;;) {
    DWORD waited = WaitForSingleObject(hostState.childProcess.hThread, CHILD_POLL_MS);
    if (waited != WAIT_TIMEOUT || killed) break;
    if (!shutdownFilePresent()) continue;
    if (WaitForSingleObject(hostState.childProcess.hThread, CHILD_GRACE_MS) == WAIT_TIMEOUT) {
      debugLine("Application did not exit in time allotted, killing it");
      killServiceApp();
      killed = true;
    } else {
      debugLine("Application exited by itself");
    }
  }
  logChildExit();
}

}  // namespace

bool startServiceApp(const char* command) {
  traceRecord("startServiceApp", "ENTRY");
  bool stopFirst = false;
  if (!createChild(command, &stopFirst)) {
    DWORD error = 0;
    if (stopFirst) {
      debugLine("Stop requested before the application was started");
    } else {
      error = GetLastError();
      emitMessage(hostState.debugMode ? MSG_PRINTED : MSG_LOGGED_ERROR, "startServiceApp",
                  MSG_CREATE_PROCESS_FAILED, command, static_cast<int>(error));
    }
    traceRecord("startServiceApp", "EXIT - FALSE");
    SetLastError(error);
    return false;
  }
  if (!hostState.debugMode) emitMessage(MSG_LOGGED_INFO, "startServiceApp", MSG_PROCESS_STARTED, command);
  debugLine("Application started");
  watchChild();
  if (!hostState.debugMode) emitMessage(MSG_LOGGED_INFO, "startServiceApp", MSG_PROCESS_STOPPED, command);
  closeChild();
  traceRecord("startServiceApp", "EXIT - TRUE");
  return true;
}

bool stopServiceApp() {
  traceRecord("stopServiceApp", "ENTRY");
  // Under the guard: a child being created is published before the stop
  // looks for it, and one not yet begun is not created at all.
  AcquireSRWLockExclusive(&childGuard);
  hostState.stopRequested = 1;
  ReleaseSRWLockExclusive(&childGuard);
  debugLine("Creating shutdown file.");
  std::FILE* file = std::fopen(hostState.shutdownFilePath.c_str(), "w");
  if (file == nullptr) {
    traceRecord("stopServiceApp", "EXIT - FALSE");
    return false;
  }
  std::fclose(file);
  traceRecord("stopServiceApp", "EXIT - TRUE");
  return true;
}

bool killServiceApp() {
  return killThrough(hostState.childProcess.hProcess);
}

void ServiceStop() {
  traceRecord("ServiceStop", "ENTRY");
  emitMessage(MSG_LOGGED_INFO, "ServiceStop", MSG_STOPPING, hostState.displayName);
  reportServiceStatus(SERVICE_STOP_PENDING);
  debugLine("STATE TRANSITION -> SERVICE_STOP_PENDING");
  stopServiceApp();
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
  if (duplicateChild(&process, &thread)) {
    if (WaitForSingleObject(thread, STOP_TIMER_MS) == WAIT_TIMEOUT) {
      debugLine("Stop timer exceeded, killing application.");
      killThrough(process);
    }
    if (process != nullptr) CloseHandle(process);
    CloseHandle(thread);
  }
  debugLine("Application is stopped.");
  deleteChildFiles();
  reportServiceStatus(SERVICE_STOPPED);
  debugLine("STATE TRANSITION -> SERVICE_STOPPED");
  traceRecord("ServiceStop", "EXIT");
}

DWORD ServiceStart(int, char**, const char*, const char* javaCommand) {
  traceRecord("ServiceStart", "ENTRY");
  if (hostState.workingDirectoryError != 0) {
    // Running in the system folder would delete and create files there and
    // start whatever launcher lies beside it: the service stops at once and
    // says why, with the error as its exit code.
    reportUnusableWorkingDirectory(hostState.debugMode ? MSG_PRINTED : MSG_LOGGED_ERROR, "ServiceStart");
    setServiceExitCode(hostState.workingDirectoryError);
    reportServiceStatus(SERVICE_STOPPED);
    traceRecord("ServiceStart", "EXIT");
    return hostState.workingDirectoryError;
  }
  InterlockedExchange(&hostState.stopRequested, 0);
  reportServiceStatus(SERVICE_RUNNING);
  debugLine("STATE TRANSITION -> SERVICE_RUNNING");
  hostState.stopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  DWORD exitCode = hostState.stopEvent == nullptr ? GetLastError() : 0;
  if (hostState.stopEvent != nullptr) {
    SetConsoleCtrlHandler(logoffHandler, TRUE);
    emitMessage(MSG_LOGGED_INFO, "ServiceStart", MSG_STARTED, hostState.displayName);
    while (hostState.stopRequested == 0) {
      debugLine("Starting application");
      if (!startServiceApp(javaCommand)) {
        exitCode = GetLastError();
        debugLine("Application exited, and stop requested");
        InterlockedExchange(&hostState.stopRequested, 1);
        break;
      }
      if (hostState.stopRequested == 0) {
        debugLine("Sleeping 30 seconds before application restart");
        Sleep(RESTART_PAUSE_MS);
      }
    }
  }
  emitMessage(hostState.debugMode ? MSG_PRINTED : MSG_LOGGED_INFO, "serviceStart", MSG_STOPPED,
              hostState.displayName);
  if (hostState.stopEvent != nullptr) {
    SetEvent(hostState.stopEvent);
    CloseHandle(hostState.stopEvent);
    hostState.stopEvent = nullptr;
  }
  // Windows records why the service ended and may apply its recovery.
  setServiceExitCode(exitCode);
  reportServiceStatus(SERVICE_STOPPED);
  traceRecord("ServiceStart", "EXIT");
  return exitCode;
}

}  // namespace zaq
