// Writes one log record in a process of its own: Wine prints a reported event
// on the standard error of the reporting process when its eventlog channel is
// on, and CTest reads that output.
// vqm_logging_test_helper LOGFILE SEVERITY MESSAGE
#include <cstdio>
#include <cstdlib>

#include "winservice/vqm_logging.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  auto severity = static_cast<zaq::LogSeverity>(std::strtol(argv[2], nullptr, 10));
  zaq::writeLogRecord(argv[1], "service", 21, "VQM Client", "helper", argv[3], severity);
  std::printf("record written\n");
  return 0;
}
