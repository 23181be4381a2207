#include "winservice/service_entry.h"

#include <direct.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "winservice/log_format.h"
#include "winservice/message_table.h"
#include "winservice/service_commands.h"
#include "winservice/service_debuglog.h"
#include "winservice/service_identity.h"
#include "winservice/service_main.h"
#include "winservice/service_messages.h"
#include "winservice/service_state.h"
#include "winservice/utils.h"
#include "winservice/vqm_logging.h"

namespace zaq {

namespace {

constexpr char BANNER_RULE[] = "############################################";

void debugBanner(const char* middle) {
  if (hostState.debugLogFile == nullptr) return;
  debugLog(BANNER_RULE);
  debugLog(middle);
  debugLog(BANNER_RULE);
}

[[noreturn]] void finish(const char* programName, bool halted, int exitCode) {
  traceRecord("main", "EXIT", programName);
  if (halted) debugBanner("##           ZAQSERVICE HALTED            ##");
  // The service thread's last act was its final report, and the reader of the
  // child's output may still be writing: the process ends with every thread
  // stopped where it stands and nothing torn down under it (no static
  // destructors, no closing of streams another thread may use). Each log
  // record and debug line is on disk already; standard output is flushed here.
  std::fflush(nullptr);
  ExitProcess(static_cast<UINT>(exitCode));
}

// Hands the main thread to the service dispatcher; returns when the service
// has stopped, false at once when the dispatcher cannot be connected (as from
// a console).
bool runDispatcher() {
  std::string name = hostState.serviceName;
  SERVICE_TABLE_ENTRYA dispatchTable[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(dispatchTable) != 0;
}

}  // namespace

void openMessageCatalog() {
  hostState.messageCatalog = zel::catopen(MESSAGE_CATALOG_NAME, zel::CAT_MESSAGE_LOCALE);
  // The first lookup of a set reads it from the catalog's one stream and
  // converts it, without locks: it is done here, on the only thread there is,
  // not by the service thread and the control handler at the same time.
  getCatalogMessage(hostState.messageCatalog, MESSAGE_SET, MSG_STARTED, defaultMessageText(MSG_STARTED));
}

void setUpProcess(const char* programName, bool trace) {
  setupServiceInfo(programName);
  if (hostState.workingDirectoryError == 0) (void)_chdir(hostState.workingDirectory);
  // Opened in the working directory, as the Service Control Manager starts the
  // service in the system folder: the service and the console commands find
  // the same catalog there.
  openMessageCatalog();
  debugBanner("##          STARTING ZAQSERVICE           ##");
  if (trace) hostState.traceLogPath = buildLogFileName(programName, LOG_KIND_TRACE);
  hostState.messageLogPath = buildLogFileName(hostState.serviceName.c_str(), LOG_KIND_MESSAGE);
}

CommandWord commandWord(int argc, char** argv) {
  if (argc < 2 || (argv[1][0] != '-' && argv[1][0] != '/')) return COMMAND_NONE;
  const char* word = argv[1] + 1;
  if (_stricmp(word, "install") == 0) return COMMAND_INSTALL;
  if (_stricmp(word, "remove") == 0) return COMMAND_REMOVE;
  if (_stricmp(word, "debug") == 0) return COMMAND_DEBUG;
  if (_stricmp(word, "help") == 0) return COMMAND_HELP;
  return COMMAND_NONE;
}

bool hasTraceFlag(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "-trace") == 0) return true;
  return false;
}

void serviceHostMain(int argc, char** argv) {
  const char* programName = argv[0];
  setUpProcess(programName, hasTraceFlag(argc, argv));
  traceRecord("main", "ENTRY", programName);
  buildJavaCommand(hostState.javaCommand, hostState.launchKind, hostState.defaultLogCmdPort,
                   hostState.configFilePath.c_str(), hostState.workingDirectory, argc, argv);
  hostState.debugMode = 0;
  switch (commandWord(argc, argv)) {
    case COMMAND_INSTALL:
      finish(programName, false, static_cast<int>(CmdInstallService(argc, argv)));
    case COMMAND_REMOVE:
      finish(programName, true, static_cast<int>(CmdRemoveService()));
    case COMMAND_HELP:
      CmdHelp();
      finish(programName, true, 0);
    case COMMAND_DEBUG:
      // Supervising from the operator's folder would delete and create its
      // files there: the command ends with the error instead.
      if (hostState.workingDirectoryError != 0) {
        reportUnusableWorkingDirectory(MSG_LOGGED_ERROR | MSG_PRINTED, "CmdDebugService");
        finish(programName, true, static_cast<int>(hostState.workingDirectoryError));
      }
      // Not on to the dispatcher, which a console run can never reach.
      hostState.debugMode = 1;
      finish(programName, true, static_cast<int>(CmdDebugService(argc, argv)));
    case COMMAND_NONE:
      break;
  }
  if (!runDispatcher()) {
    emitMessageAs(programName, MSG_LOGGED_ERROR, "main", MSG_DISPATCHER_FAILED);
    finish(programName, true, 1);
  }
  finish(programName, true, 0);
}

}  // namespace zaq
