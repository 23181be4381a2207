// The request of a stop, shared by the control handler and the console
// handlers, which ask, and the service thread, which carries it out alone.
#pragma once

namespace zaq {

// Asks for the stop and returns: message 5, SERVICE_STOP_PENDING, the stop
// flag, the "shutdown" file (which asks the application to end) and then the
// stop event. Only the first request asks; one that comes after the
// supervision has ended asks for nothing.
void ServiceStop();

// Creates the shutdown file, empty: true when it was created.
bool stopServiceApp();

// Whether a stop was asked for (its request may still be under way: the stop
// event tells when it is complete).
bool stopRequested();

// For the service thread as its supervision ends: from now on no stop is
// asked for, and one under way is waited for, so that its file and its report
// come before the clean-up. true when a stop was asked for.
bool endStopRequests();

// Waits until the service has made its final report. For console handlers
// whose return lets the system end the process; in the debug command the
// process ends under the wait.
void waitForServiceEnd();

// Lets console handlers waiting for the service's end return; after the
// service's final report.
void announceServiceEnd();

// For tests: a service that no stop has reached, before a new supervision.
void resetStopRequests();

}  // namespace zaq
