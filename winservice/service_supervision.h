// The supervision of the Java application: start it in the working directory,
// watch it, start it again after a pause when it ends, and the stop sequence
// that asks it to end through the "shutdown" file and kills it when it does not.
#pragma once

namespace zaq {

// The file whose appearance in the working directory asks the application to end.
constexpr char SHUTDOWN_FILE[] = "shutdown";

// Times of the supervision, in milliseconds, and the exit code of a killed child.
constexpr unsigned long CHILD_POLL_MS = 1000;
constexpr unsigned long CHILD_GRACE_MS = 5000;
constexpr unsigned long STOP_TIMER_MS = 5000;
constexpr unsigned long RESTART_PAUSE_MS = 30000;
constexpr unsigned KILLED_EXIT_CODE = 999;

// Runs the supervision until a stop was asked for or the child cannot be
// created; only javaCommand is used. It ends once a stop under way has ended
// too, and reports SERVICE_STOPPED unless that stop did. Returns 0 after a
// stop, or the Windows error that kept the application from starting, which
// the last status report also carries.
unsigned long ServiceStart(int argc, char** argv, const char* workingDirectory, const char* javaCommand);

// Starts the child with command and watches it until it has ended: true; false
// when it could not be created (GetLastError tells why) or a stop was asked
// for before its creation (GetLastError 0). The child runs in a job that ends
// it with the host; what the child starts is not in that job.
bool startServiceApp(const char* command);

// Marks the stop and creates the shutdown file: true when the file was created.
bool stopServiceApp();

// Terminates the running child (exit code 999): true when the request succeeded.
// For the supervising thread, which owns the child's handles.
bool killServiceApp();

// The stop sequence: announces the stop (message 5, SERVICE_STOP_PENDING) and
// asks the child to end (the shutdown file), then waits, kills it after the
// stop timer, deletes the files and reports SERVICE_STOPPED, reporting
// progress on the way. A stop request runs it once (beginStop): the
// announcement on the requesting thread, so that the manager sees the stop
// under way and the application its request when the control handler
// returns, and the rest on a thread of its own.
void ServiceStop();
void announceStop();
void finishStop();

}  // namespace zaq
