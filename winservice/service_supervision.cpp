#include "winservice/service_supervision.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "winservice/child_output.h"
#include "winservice/java_command.h"
#include "winservice/message_table.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_identity.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"
#include "winservice/service_status.h"
#include "winservice/service_stop.h"

namespace zaq {

namespace {

constexpr char LOCK_FILE[] = "lock";
// No window, its own process group, idle priority.
constexpr DWORD CHILD_CREATION_FLAGS = CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | IDLE_PRIORITY_CLASS;

SupervisionSeam seam = nullptr;

void debugLine(const char* text) {
  if (hostState.debugLogFile != nullptr) debugLog(text);
}

void reach(SupervisionStep step) {
  if (seam != nullptr) seam(step);
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
  reach(STEP_CREATED);
  if (ResumeThread(child.hThread) != static_cast<DWORD>(-1)) return true;
  DWORD error = GetLastError();
  TerminateProcess(child.hProcess, KILLED_EXIT_CODE);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  SetLastError(error);
  return false;
}

// Creates the child into hostState.childProcess unless a stop was asked for.
// The files go first: a stop asked for after the look at its flag makes its
// "shutdown" file after their removal, for the new child to see. false with
// *stopFirst when the stop came first, without it when the creation failed
// (GetLastError tells why).
bool createChild(const char* command, bool* stopFirst) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOWNORMAL;
  // CreateProcessA may write into the command line: give it a copy.
  std::string commandLine = command;
  ChildStartup capture = beginChildOutput(&startup);
  deleteChildFiles();
  *stopFirst = stopRequested();
  bool created = false;
  if (!*stopFirst) {
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
  childOutputCreated(created);
  SetLastError(error);
  return created;
}

void closeChild() {
  CloseHandle(hostState.childProcess.hProcess);
  CloseHandle(hostState.childProcess.hThread);
  hostState.childProcess = PROCESS_INFORMATION{};
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

// The watch of a running child: its end, a shutdown file, a stop.
struct Watch {
  HANDLE thread = nullptr;   // the child's primary thread: its end is the application's
  HANDLE change = nullptr;   // the working directory's change notification, or none
  ULONGLONG deadline = 0;    // the end of a grace under way (GetTickCount64); 0: none
  bool ownShutdown = false;  // the application announced its end with a shutdown file
  bool stopping = false;     // the host's stop reached the watch
  bool killed = false;       // the host's termination request succeeded
};

// The application's own announcement: a shutdown file that the host did not
// make. The host's stop sets its flag before it makes the file, so a file
// found with the flag clear is the application's.
void lookForOwnShutdown(Watch* watch) {
  if (watch->deadline != 0 || !shutdownFilePresent() || stopRequested()) return;
  debugLine("Application initiated shutdown detected, waiting five seconds for exit");
  watch->ownShutdown = true;
  watch->deadline = GetTickCount64() + CHILD_GRACE_MS;
}

// The stop's grace, which ends the application's own one if that ends later.
void beginStopGrace(Watch* watch) {
  watch->stopping = true;
  ULONGLONG end = GetTickCount64() + STOP_TIMER_MS;
  if (watch->deadline == 0 || end < watch->deadline) watch->deadline = end;
}

// How long the next wait may last: to the next check point of a stop, to
// the end of a grace, to the next look of a watch without a notification.
DWORD waitTime(const Watch& watch) {
  DWORD wait = watch.change != nullptr ? INFINITE : CHILD_POLL_MS;
  if (watch.stopping && wait > CHILD_POLL_MS) wait = CHILD_POLL_MS;
  if (watch.deadline != 0) {
    ULONGLONG now = GetTickCount64();
    ULONGLONG left = watch.deadline > now ? watch.deadline - now : 0;
    if (left < wait) wait = static_cast<DWORD>(left);
  }
  return wait;
}

void killAtDeadline(Watch* watch) {
  debugLine(watch->stopping ? "Stop timer exceeded, killing application."
                            : "Application did not exit in time allotted, killing it");
  watch->killed = killServiceApp();
  // The watch ends after one more poll, whether or not the child is gone.
  WaitForSingleObject(watch->thread, CHILD_POLL_MS);
}

// Waits until the child has ended, asleep between the child's end, a stop
// and a change of the working directory's file names (or a one-second poll).
// A stop's grace reports progress once a second and ends in the kill, as does
// the application's own.
void watchChild() {
  Watch watch;
  watch.thread = hostState.childProcess.hThread;
  watch.change = watchWorkingDirectory();
  // A name made before the notice was armed is looked for at once.
  bool look = watch.change != nullptr;
  for (;;) {
    if (look) lookForOwnShutdown(&watch);
    HANDLE handles[3] = {watch.thread};
    DWORD count = 1;
    DWORD stopAt = watch.stopping ? MAXIMUM_WAIT_OBJECTS : count;
    if (!watch.stopping) handles[count++] = hostSync.stopEvent;
    // During a grace the file names no longer matter.
    DWORD changeAt = watch.deadline == 0 && watch.change != nullptr ? count : MAXIMUM_WAIT_OBJECTS;
    if (changeAt == count) handles[count++] = watch.change;
    DWORD woke = WaitForMultipleObjects(count, handles, FALSE, waitTime(watch));
    if (woke == WAIT_OBJECT_0 || woke == WAIT_FAILED) break;  // ended, or the wait failed
    look = false;
    if (woke == WAIT_OBJECT_0 + stopAt) {
      beginStopGrace(&watch);
    } else if (woke == WAIT_OBJECT_0 + changeAt) {
      if (!FindNextChangeNotification(watch.change)) {
        FindCloseChangeNotification(watch.change);
        watch.change = watchWorkingDirectory();
      }
      look = true;
    } else if (watch.deadline != 0 && GetTickCount64() >= watch.deadline) {
      killAtDeadline(&watch);
      break;
    } else {
      if (watch.stopping) reportServiceStatus(SERVICE_STOP_PENDING, STOP_WAIT_HINT_MS);
      look = watch.change == nullptr;
    }
  }
  if (watch.change != nullptr) FindCloseChangeNotification(watch.change);
  if (watch.ownShutdown && !watch.stopping && !watch.killed) debugLine("Application exited by itself");
  logChildExit(watch.killed ? "was killed" : "exited");
}

// Runs the application until a stop was asked for or it cannot be created:
// 0, or the Windows error of its creation.
DWORD superviseApplication(const char* javaCommand) {
  while (!stopRequested()) {
    debugLine("Starting application");
    if (!startServiceApp(javaCommand)) {
      DWORD error = GetLastError();
      reach(STEP_START_FAILED);
      debugLine("Application exited, and stop requested");
      return error;
    }
    reach(STEP_CHILD_ENDED);
    if (stopRequested()) break;
    debugLine("Sleeping 30 seconds before application restart");
    reach(STEP_RESTART_PAUSE);
    // A stop ends the pause.
    WaitForSingleObject(hostSync.stopEvent, RESTART_PAUSE_MS);
  }
  return 0;
}

}  // namespace

bool startServiceApp(const char* command) {
  traceRecord("startServiceApp", "ENTRY");
  reach(STEP_BEFORE_CREATION);
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
  reach(STEP_OUTPUT_DRAINING);
  endChildOutput(!stopRequested());
  if (!hostState.debugMode) emitMessage(MSG_LOGGED_INFO, "startServiceApp", MSG_PROCESS_STOPPED, command);
  closeChild();
  traceRecord("startServiceApp", "EXIT - TRUE");
  return true;
}

bool killServiceApp() {
  traceRecord("killServiceApp", "ENTRY");
  debugLine("Sending application termination signal");
  if (TerminateProcess(hostState.childProcess.hProcess, KILLED_EXIT_CODE)) {
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

DWORD ServiceStart(int, char**, const char*, const char* javaCommand) {
  traceRecord("ServiceStart", "ENTRY");
  if (hostState.workingDirectoryError != 0) {
    // Running in the system folder would delete and create files there and
    // start whatever launcher lies beside it: the service stops at once and
    // says why, with the error as its exit code.
    reportUnusableWorkingDirectory(hostState.debugMode ? MSG_PRINTED : MSG_LOGGED_ERROR, "ServiceStart");
    endStopRequests();
    traceRecord("ServiceStart", "EXIT");
    return hostState.workingDirectoryError;
  }
  // Not after a stop that came during the start: the service stops at once.
  if (reportServiceStatus(SERVICE_RUNNING)) debugLine("STATE TRANSITION -> SERVICE_RUNNING");
  // Made at the process's start; without it no stop could reach the watch.
  DWORD exitCode = hostSync.stopEvent == nullptr ? hostSync.eventsError : 0;
  if (exitCode == 0) {
    emitMessage(MSG_LOGGED_INFO, "ServiceStart", MSG_STARTED, hostState.displayName);
    exitCode = superviseApplication(javaCommand);
  }
  if (endStopRequests()) {
    debugLine("Application is stopped.");
    deleteChildFiles();
  }
  emitMessage(hostState.debugMode ? MSG_PRINTED : MSG_LOGGED_INFO, "serviceStart", MSG_STOPPED,
              hostState.displayName);
  traceRecord("ServiceStart", "EXIT");
  return exitCode;
}

void setSupervisionSeam(SupervisionSeam step) {
  seam = step;
}

}  // namespace zaq
