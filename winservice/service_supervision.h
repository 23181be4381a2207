// The supervision of the Java application on the service thread: start it in
// the working directory, watch it, start it again after a pause when it ends,
// and carry out a stop that a handler asked for: the grace after the
// "shutdown" file, the kill, the clean-up and the last words.
#pragma once

namespace zaq {

// Times of the supervision, in milliseconds, and the exit code of a killed child.
constexpr unsigned long CHILD_POLL_MS = 1000;
constexpr unsigned long CHILD_GRACE_MS = 5000;
constexpr unsigned long STOP_TIMER_MS = 5000;
constexpr unsigned long RESTART_PAUSE_MS = 30000;
constexpr unsigned KILLED_EXIT_CODE = 999;

// Runs the supervision until a stop was asked for or the child cannot be
// created, and carries out the stop; only javaCommand is used. Reports
// SERVICE_RUNNING and, during a stop's grace, SERVICE_STOP_PENDING progress,
// but not the end: returns 0 after a stop, or the Windows error that kept the
// application from starting (also when a stop came meanwhile), for the
// caller's final report.
unsigned long ServiceStart(int argc, char** argv, const char* workingDirectory, const char* javaCommand);

// Starts the child with command and watches it until it has ended, through a
// stop's grace and kill when one is asked for: true; false when it could not
// be created (GetLastError tells why) or a stop was asked for before its
// creation (GetLastError 0). The child runs in a job that ends it with the
// host; what the child starts is not in that job.
bool startServiceApp(const char* command);

// Terminates the running child (exit code 999): true when the request succeeded.
bool killServiceApp();

// The steps of the service thread where a test may act (send a stop) before
// the supervision goes on; none acts outside tests.
enum SupervisionStep : int {
  STEP_BEFORE_CREATION,  // the files are about to be deleted and the child created
  STEP_CREATED,          // the child exists, suspended, not yet resumed
  STEP_OUTPUT_DRAINING,  // the child has ended; the reader takes what it left
  STEP_CHILD_ENDED,      // the run is over; the restart decision comes next
  STEP_RESTART_PAUSE,    // the pause before a restart begins
  STEP_START_FAILED,     // the child could not be created
};
using SupervisionSeam = void (*)(SupervisionStep step);
// Set while no supervision runs; null for none.
void setSupervisionSeam(SupervisionSeam seam);

}  // namespace zaq
