#include "winservice/service_supervision.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "winservice/child_output.h"
#include "winservice/message_table.h"
#include "winservice/service_control.h"
#include "winservice/service_debuglog.h"
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

// The system ends every process of this job when its last handle is closed,
// which the host's own end does however it comes (a kill, a crash, a console
// closed while the application ignores "shutdown"). The host joins the job
// itself, once, so that each child is in it from its first instruction. The
// handle is never closed: that would end the host with its children.
bool childJobTried = false;

void joinChildJob() {
  if (childJobTried) return;
  childJobTried = true;
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job != nullptr &&
      SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) &&
      AssignProcessToJobObject(job, GetCurrentProcess()))
    return;
  // Before Windows 8 a process already in a job (one a launcher or a
  // scheduler put it in) cannot join another.
  char line[160];
  std::snprintf(line, sizeof line,
                "No job object for the application (error %lu): it may outlive the service host",
                GetLastError());
  if (job != nullptr) CloseHandle(job);
  debugLine(line);
}

// Creates the child into hostState.childProcess unless a stop was asked for,
// all under the guard: a stop either comes first, and no child is created, or
// finds the child published. false with *stopFirst when the stop came first,
// without it when the creation failed (GetLastError tells why).
bool createChild(const char* command, bool* stopFirst) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  // CreateProcessA may write into the command line: give it a copy.
  std::string commandLine = command;
  ChildStartup capture = beginChildOutput(&startup);
  AcquireSRWLockExclusive(&childGuard);
  *stopFirst = hostState.stopRequested != 0;
  bool created = false;
  if (!*stopFirst) {
    deleteChildFiles();
    debugLine("Creating application process.");
    created = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, capture.inheritHandles,
                             CHILD_CREATION_FLAGS | capture.creationFlags, nullptr, nullptr, capture.startup,
                             &hostState.childProcess) != 0;
    if (!created) hostState.childProcess = PROCESS_INFORMATION{};
  }
  DWORD error = GetLastError();
  ReleaseSRWLockExclusive(&childGuard);
  childOutputCreated(created);
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
  if (!killed) debugLine("Application exited");
}

}  // namespace

bool startServiceApp(const char* command) {
  traceRecord("startServiceApp", "ENTRY");
  joinChildJob();
  bool stopFirst = false;
  if (!createChild(command, &stopFirst)) {
    if (stopFirst) {
      debugLine("Stop requested before the application was started");
    } else {
      int error = static_cast<int>(GetLastError());
      emitMessage(hostState.debugMode ? MSG_PRINTED : MSG_LOGGED_ERROR, "startServiceApp",
                  MSG_CREATE_PROCESS_FAILED, command, error);
    }
    traceRecord("startServiceApp", "EXIT - FALSE");
    return false;
  }
  if (!hostState.debugMode) emitMessage(MSG_LOGGED_INFO, "startServiceApp", MSG_PROCESS_STARTED, command);
  debugLine("Application started");
  watchChild();
  endChildOutput();
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

void ServiceStart(int, char**, const char*, const char* javaCommand) {
  traceRecord("ServiceStart", "ENTRY");
  InterlockedExchange(&hostState.stopRequested, 0);
  reportServiceStatus(SERVICE_RUNNING);
  debugLine("STATE TRANSITION -> SERVICE_RUNNING");
  hostState.stopEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (hostState.stopEvent != nullptr) {
    SetConsoleCtrlHandler(logoffHandler, TRUE);
    emitMessage(MSG_LOGGED_INFO, "ServiceStart", MSG_STARTED, hostState.displayName);
    while (hostState.stopRequested == 0) {
      debugLine("Starting application");
      if (!startServiceApp(javaCommand)) {
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
  reportServiceStatus(SERVICE_STOPPED);
  traceRecord("ServiceStart", "EXIT");
}

}  // namespace zaq
