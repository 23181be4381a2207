#include "winservice/service_supervision.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "winservice/child_output.h"
#include "winservice/java_command.h"
#include "winservice/message_table.h"
#include "winservice/service_control.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_identity.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"

namespace zaq {

namespace {

constexpr char LOCK_FILE[] = "lock";
// No window, its own process group, idle priority.
constexpr DWORD CHILD_CREATION_FLAGS = CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | IDLE_PRIORITY_CLASS;

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

// A notice of every file name made or removed in the working directory (the
// current one), so that the watch wakes when "shutdown" appears and sleeps
// otherwise; null where the system will not give one (some shares), and the
// watch then looks once a second.
HANDLE watchWorkingDirectory() {
  HANDLE change = FindFirstChangeNotificationA(".", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME);
  if (change != INVALID_HANDLE_VALUE) return change;
  char line[160];
  std::snprintf(line, sizeof line,
                "No change notification for the working directory (error %lu): looking for the shutdown "
                "file once a second",
                GetLastError());
  debugLine(line);
  return nullptr;
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
  ChildStartup capture = beginChildOutput(&startup);
  AcquireSRWLockExclusive(&hostSync.childGuard);
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
      created = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, capture.inheritHandles,
                               CHILD_CREATION_FLAGS | CREATE_SUSPENDED | capture.creationFlags, nullptr,
                               nullptr, capture.startup, &hostState.childProcess) != 0 &&
                containAndResume(hostState.childProcess);
    if (!created) hostState.childProcess = PROCESS_INFORMATION{};
  }
  DWORD error = GetLastError();
  ReleaseSRWLockExclusive(&hostSync.childGuard);
  childOutputCreated(created);
  SetLastError(error);
  return created;
}

void closeChild() {
  AcquireSRWLockExclusive(&hostSync.childGuard);
  CloseHandle(hostState.childProcess.hProcess);
  CloseHandle(hostState.childProcess.hThread);
  hostState.childProcess = PROCESS_INFORMATION{};
  ReleaseSRWLockExclusive(&hostSync.childGuard);
}

// The stopping thread's own copies of the running child's handles; false when
// no child runs.
bool duplicateChild(HANDLE* process, HANDLE* thread) {
  AcquireSRWLockShared(&hostSync.childGuard);
  bool running = hostState.childProcess.hThread != nullptr;
  if (running) {
    HANDLE self = GetCurrentProcess();
    running = DuplicateHandle(self, hostState.childProcess.hThread, self, thread, 0, FALSE,
                              DUPLICATE_SAME_ACCESS) != 0;
    if (running && !DuplicateHandle(self, hostState.childProcess.hProcess, self, process, 0, FALSE,
                                    DUPLICATE_SAME_ACCESS))
      *process = nullptr;
  }
  ReleaseSRWLockShared(&hostSync.childGuard);
  return running;
}

// The termination request through process, with its log lines and message.
// A child that the other thread has already killed is not asked again: the
// second request could only fail.
bool killThrough(HANDLE process) {
  traceRecord("killServiceApp", "ENTRY");
  debugLine("Sending application termination signal");
  AcquireSRWLockExclusive(&hostSync.childGuard);
  bool killed = hostSync.childKilled || (process != nullptr && TerminateProcess(process, KILLED_EXIT_CODE));
  hostSync.childKilled = killed;
  ReleaseSRWLockExclusive(&hostSync.childGuard);
  if (killed) {
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
// poll after a kill: the process itself may take a moment more. how is
// "exited", or "was killed" after a kill by the host.
void logChildExit(const char* how) {
  HANDLE process = hostState.childProcess.hProcess;
  DWORD code = STILL_ACTIVE;
  char line[96];
  if (WaitForSingleObject(process, CHILD_POLL_MS) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code) &&
      code != STILL_ACTIVE)
    std::snprintf(line, sizeof line, "Application %s with exit code %lu", how,
                  static_cast<unsigned long>(code));
  else
    std::snprintf(line, sizeof line, "Application %s, exit code not known yet", how);
  debugLine(line);
}

bool stopUnderWay() {
  return hostState.stopRequested != 0;
}

// A shutdown file while the child runs. The host's own (a stop is under way):
// the stop grants the grace and kills, and the watch waits for the child's
// end, long enough for both. The application's own announcement: five
// seconds, then the kill, unless a stop takes over meanwhile.
void followShutdownFile(HANDLE thread) {
  if (!stopUnderWay()) {
    debugLine("Application initiated shutdown detected, waiting five seconds for exit");
    if (WaitForSingleObject(thread, CHILD_GRACE_MS) != WAIT_TIMEOUT) {
      debugLine("Application exited by itself");
      return;
    }
    if (!stopUnderWay()) {
      debugLine("Application did not exit in time allotted, killing it");
      killServiceApp();
      // The watch ends after one more poll, whether or not the child is gone.
      WaitForSingleObject(thread, CHILD_POLL_MS);
      return;
    }
  }
  WaitForSingleObject(thread, STOP_TIMER_MS + CHILD_GRACE_MS);
}

// Waits until the child has ended, sleeping between the child's end and a
// change of the working directory's file names (or a one-second poll).
void watchChild() {
  HANDLE thread = hostState.childProcess.hThread;
  HANDLE change = watchWorkingDirectory();
  // A name made before the notice was armed is looked for at once.
  bool look = change != nullptr;
  for (;;) {
    if (look && shutdownFilePresent()) {
      followShutdownFile(thread);
      break;
    }
    HANDLE handles[] = {thread, change};
    DWORD waited = change != nullptr ? WaitForMultipleObjects(2, handles, FALSE, INFINITE)
                                     : WaitForSingleObject(thread, CHILD_POLL_MS);
    if (waited != WAIT_TIMEOUT && waited != WAIT_OBJECT_0 + 1) break;  // ended, or the wait failed
    if (waited == WAIT_OBJECT_0 + 1 && !FindNextChangeNotification(change)) {
      FindCloseChangeNotification(change);
      change = watchWorkingDirectory();
    }
    look = true;
  }
  if (change != nullptr) FindCloseChangeNotification(change);
  AcquireSRWLockShared(&hostSync.childGuard);
  bool killed = hostSync.childKilled;
  ReleaseSRWLockShared(&hostSync.childGuard);
  logChildExit(killed ? "was killed" : "exited");
}

}  // namespace

bool startServiceApp(const char* command) {
  traceRecord("startServiceApp", "ENTRY");
  AcquireSRWLockExclusive(&hostSync.childGuard);
  hostSync.childKilled = false;
  ReleaseSRWLockExclusive(&hostSync.childGuard);
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
  endChildOutput(!stopUnderWay());
  if (!hostState.debugMode) emitMessage(MSG_LOGGED_INFO, "startServiceApp", MSG_PROCESS_STOPPED, command);
  closeChild();
  traceRecord("startServiceApp", "EXIT - TRUE");
  return true;
}

bool stopServiceApp() {
  traceRecord("stopServiceApp", "ENTRY");
  // Under the guard: a child being created is published before the stop
  // looks for it, and one not yet begun is not created at all. The event
  // ends a restart pause; the supervision closes it under the guard too.
  AcquireSRWLockExclusive(&hostSync.childGuard);
  hostState.stopRequested = 1;
  if (hostState.stopEvent != nullptr) SetEvent(hostState.stopEvent);
  ReleaseSRWLockExclusive(&hostSync.childGuard);
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

void announceStop() {
  traceRecord("ServiceStop", "ENTRY");
  emitMessage(MSG_LOGGED_INFO, "ServiceStop", MSG_STOPPING, hostState.displayName);
  reportServiceStatus(SERVICE_STOP_PENDING, STOP_WAIT_HINT_MS);
  debugLine("STATE TRANSITION -> SERVICE_STOP_PENDING");
  stopServiceApp();
}

void ServiceStop() {
  announceStop();
  finishStop();
}

void finishStop() {
  HANDLE process = nullptr;
  HANDLE thread = nullptr;
  if (duplicateChild(&process, &thread)) {
    // The stop timer, told to the manager as progress once a second.
    DWORD waited = WAIT_TIMEOUT;
    for (DWORD left = STOP_TIMER_MS; left > 0 && waited == WAIT_TIMEOUT;) {
      DWORD slice = left < CHILD_POLL_MS ? left : CHILD_POLL_MS;
      waited = WaitForSingleObject(thread, slice);
      left -= slice;
      reportServiceStatus(SERVICE_STOP_PENDING, STOP_WAIT_HINT_MS);
    }
    if (waited == WAIT_TIMEOUT) {
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
  armStop();
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
        // A stop ends the pause.
        WaitForSingleObject(hostState.stopEvent, RESTART_PAUSE_MS);
      }
    }
  }
  endStops();
  emitMessage(hostState.debugMode ? MSG_PRINTED : MSG_LOGGED_INFO, "serviceStart", MSG_STOPPED,
              hostState.displayName);
  AcquireSRWLockExclusive(&hostSync.childGuard);
  if (hostState.stopEvent != nullptr) {
    SetEvent(hostState.stopEvent);
    CloseHandle(hostState.stopEvent);
    hostState.stopEvent = nullptr;
  }
  ReleaseSRWLockExclusive(&hostSync.childGuard);
  // Windows records why the service ended and may apply its recovery. Reported
  // here when no stop ran (the application could not be started); after a
  // stop, the stop has reported it, and nothing follows it.
  setServiceExitCode(exitCode);
  if (reportServiceStatus(SERVICE_STOPPED)) debugLine("STATE TRANSITION -> SERVICE_STOPPED");
  traceRecord("ServiceStart", "EXIT");
  return exitCode;
}

}  // namespace zaq
