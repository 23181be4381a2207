#include "e2e_support.h"

#include "tests/support/services_registry.h"
#include "tests/support/windows_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace e2e {

namespace {

// The unit tests' directory helpers serve here too.
using zaq_test::makeDirectories;
using zaq_test::removeTree;

HANDLE inheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::string scratchPath(const char* kind) {
  static unsigned counter = 0;
  CreateDirectoryA("C:\\zaqe2e", nullptr);
  return "C:\\zaqe2e\\run" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter) + "." +
         kind;
}

// A service opened with its manager; failure names the call that failed.
struct OpenedService {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  DWORD error = 0;
  std::string failure;
};

OpenedService openService(const std::string& name, DWORD access) {
  OpenedService opened;
  opened.manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (opened.manager == nullptr) {
    opened.error = GetLastError();
    opened.failure = scmFailure("OpenSCManagerA", name, opened.error);
    return opened;
  }
  opened.service = OpenServiceA(opened.manager, name.c_str(), access);
  if (opened.service == nullptr) {
    opened.error = GetLastError();
    opened.failure = scmFailure("OpenServiceA", name, opened.error);
    CloseServiceHandle(opened.manager);
    opened.manager = nullptr;
  }
  return opened;
}

void closeService(OpenedService& opened) {
  if (opened.service != nullptr) CloseServiceHandle(opened.service);
  if (opened.manager != nullptr) CloseServiceHandle(opened.manager);
  opened.service = opened.manager = nullptr;
}

// The current state, or 0 with the failure when it cannot be queried.
DWORD queryState(const std::string& name, std::string* failure, DWORD* error = nullptr) {
  OpenedService opened = openService(name, SERVICE_QUERY_STATUS);
  DWORD code = opened.error;
  *failure = opened.failure;
  DWORD state = 0;
  if (opened.service != nullptr) {
    SERVICE_STATUS status{};
    if (QueryServiceStatus(opened.service, &status)) {
      state = status.dwCurrentState;
    } else {
      code = GetLastError();
      *failure = scmFailure("QueryServiceStatus", name, code);
    }
  }
  closeService(opened);
  if (error != nullptr) *error = code;
  return state;
}

// Stand-ins of the installation that still run (after a failed test) would
// keep the rescan port: end them. The log may be older than this session, whose
// processes reuse its ids: only a process running the installation's launcher
// is one of them.
void endStandins(const Installation& installation) {
  std::string launcher = installation.root + "\\_jvm\\bin\\java.exe";
  for (const StandinStart& start : standinStarts(installation)) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, start.pid);
    if (process == nullptr) continue;
    char image[MAX_PATH];
    DWORD length = sizeof image;
    if (QueryFullProcessImageNameA(process, 0, image, &length) && _stricmp(image, launcher.c_str()) == 0)
      TerminateProcess(process, 1);
    CloseHandle(process);
  }
}

}  // namespace

Installation layOut(const std::string& instance, const LayoutOptions& options) {
  Installation installation;
  installation.instance = instance;
  installation.root = "C:\\zaqe2e\\s" + instance;
  installation.workingDir = installation.root + "\\client";
  installation.serviceName = "zaqservice" + instance;
  installation.displayName = "VQM Client - " + instance;
  installation.program = installation.workingDir + "\\" + installation.serviceName + ".exe";
  tearDown(installation);
  removeTree(installation.root);
  makeDirectories(installation.workingDir);
  makeDirectories(installation.root + "\\jars\\boot");
  writeFile(installation.root + "\\jars\\client.jar", "");
  writeFile(installation.root + "\\jars\\boot\\boot.jar", "");
  writeFile(installation.workingDir + "\\client.pref", "jvm.heap.max=256m\n");
  if (options.launcher) {
    makeDirectories(installation.root + "\\_jvm\\bin");
    CopyFileA(STANDIN_EXE, (installation.root + "\\_jvm\\bin\\java.exe").c_str(), FALSE);
  }
  if (options.debugLog) writeFile(installation.workingDir + "\\debugservice", "");
  if (!options.standinMode.empty())
    writeFile(installation.workingDir + "\\standin.mode", options.standinMode);
  CopyFileA(ZAQSERVICE_EXE, installation.program.c_str(), FALSE);
  zaq_test::setWorkingDirectory("VQM_Client" + instance, installation.workingDir);
  DeleteFileA(messageLogPath(installation.serviceName).c_str());
  DeleteFileA(traceLogPath(installation.serviceName).c_str());
  return installation;
}

namespace {

// A stop request to a service whose process was killed meets its closed
// control pipe; 32-bit Wine's manager goes on reporting such a service as
// running, and deleting it is all that is left to do.
bool servicePipeGone(DWORD error) {
  return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED;
}

}  // namespace

void tearDown(const Installation& installation) {
  const std::string& name = installation.serviceName;
  OpenedService opened = openService(name, SERVICE_ALL_ACCESS);
  if (opened.service != nullptr) {
    SERVICE_STATUS status;
    if (ControlService(opened.service, SERVICE_CONTROL_STOP, &status)) {
      ::testing::AssertionResult stopped = waitForState(name, SERVICE_STOPPED, 15000);
      if (!stopped) ADD_FAILURE() << "tearDown: " << stopped.message();
    } else if (DWORD error = GetLastError(); error != ERROR_SERVICE_NOT_ACTIVE && !servicePipeGone(error)) {
      ADD_FAILURE() << "tearDown: " << scmFailure("ControlService(SERVICE_CONTROL_STOP)", name, error);
    }
    if (!DeleteService(opened.service))
      ADD_FAILURE() << "tearDown: " << scmFailure("DeleteService", name, GetLastError());
    closeService(opened);
  } else if (opened.error != ERROR_SERVICE_DOES_NOT_EXIST) {
    ADD_FAILURE() << "tearDown: " << opened.failure;
  }
  endStandins(installation);
  zaq_test::deleteServiceKey("VQM_Client" + installation.instance);
}

std::string expectedJavaCommand(const Installation& installation) {
  const std::string& wd = installation.workingDir;
  return wd + "\\..\\_jvm\\bin\\java.exe -classpath ..\\jars\\client.jar;..\\jars\\client.jar;" + wd +
         "\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar;..\\jars\\boot\\boot.jar "
         "-Dconfig_file=" +
         wd + "\\client.pref -Dsun.net.inetaddr.ttl=0 -Dnetworkaddress.cache.ttl=0  -DVQMHOME=" + wd +
         " -DVQM_CLIENT_INST_DIR=" + wd + " -Xmx256m -Dtrova.logCmdPort=1952  -Djava.compiler=NONE  " +
         "com/qzr/vqm/client/VQMClient";
}

RunningConsole startConsole(const std::string& application, const std::string& commandLine,
                            const std::string& directory) {
  RunningConsole run;
  run.outPath = scratchPath("out");
  run.errPath = scratchPath("err");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  startup.hStdOutput = inheritableFile(run.outPath, GENERIC_WRITE, CREATE_ALWAYS);
  startup.hStdError = inheritableFile(run.errPath, GENERIC_WRITE, CREATE_ALWAYS);
  std::string line = commandLine;
  if (!CreateProcessA(application.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE, nullptr,
                      directory.c_str(), &startup, &run.process)) {
    ADD_FAILURE() << "CreateProcessA for " << application << " in " << directory << " failed with error "
                  << GetLastError();
    run.process = PROCESS_INFORMATION{};
  }
  CloseHandle(startup.hStdInput);
  CloseHandle(startup.hStdOutput);
  CloseHandle(startup.hStdError);
  return run;
}

ConsoleRun finish(RunningConsole& run, DWORD timeoutMs) {
  ConsoleRun result;
  if (run.process.hProcess == nullptr) return result;
  if (WaitForSingleObject(run.process.hProcess, timeoutMs) == WAIT_TIMEOUT)
    TerminateProcess(run.process.hProcess, 1);
  GetExitCodeProcess(run.process.hProcess, &result.exitCode);
  CloseHandle(run.process.hProcess);
  CloseHandle(run.process.hThread);
  run.process = PROCESS_INFORMATION{};
  result.out = readText(run.outPath);
  result.err = readText(run.errPath);
  DeleteFileA(run.outPath.c_str());
  DeleteFileA(run.errPath.c_str());
  return result;
}

ConsoleRun runConsole(const std::string& application, const std::string& commandLine,
                      const std::string& directory, DWORD timeoutMs) {
  RunningConsole run = startConsole(application, commandLine, directory);
  return finish(run, timeoutMs);
}

bool interruptConsole(DWORD processId) {
  std::string line = "console_interrupt " + std::to_string(processId);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION helper{};
  if (!CreateProcessA(CONSOLE_INTERRUPT_EXE, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &helper))
    return false;
  WaitForSingleObject(helper.hProcess, 10000);
  DWORD code = 1;
  GetExitCodeProcess(helper.hProcess, &code);
  CloseHandle(helper.hProcess);
  CloseHandle(helper.hThread);
  return code == 0;
}

ConsoleRun operatorCommand(const Installation& installation, const std::string& arguments, DWORD timeoutMs) {
  return runConsole(installation.program, installation.serviceName + " " + arguments, installation.workingDir,
                    timeoutMs);
}

std::string scmFailure(const char* call, const std::string& name, DWORD error) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = std::string(call) + " for " + name + " failed with error " + std::to_string(error);
  if (text != nullptr) {
    std::string systemText = text;
    LocalFree(text);
    while (!systemText.empty() && (systemText.back() == '\n' || systemText.back() == '\r'))
      systemText.pop_back();
    message += " (" + systemText + ")";
  }
  return message;
}

DWORD serviceState(const std::string& name) {
  std::string failure;
  DWORD error = 0;
  DWORD state = queryState(name, &failure, &error);
  if (state == 0 && error != ERROR_SERVICE_DOES_NOT_EXIST) ADD_FAILURE() << failure;
  return state;
}

bool serviceExists(const std::string& name) {
  OpenedService opened = openService(name, SERVICE_QUERY_STATUS);
  if (opened.service == nullptr && opened.error != ERROR_SERVICE_DOES_NOT_EXIST)
    ADD_FAILURE() << opened.failure;
  bool exists = opened.service != nullptr;
  closeService(opened);
  return exists;
}

namespace {
// The status with its process id; zeros, and a test failure, when it cannot be queried.
SERVICE_STATUS_PROCESS queryStatus(const std::string& name) {
  SERVICE_STATUS_PROCESS status{};
  OpenedService opened = openService(name, SERVICE_QUERY_STATUS);
  DWORD needed = 0;
  if (opened.service == nullptr)
    ADD_FAILURE() << opened.failure;
  else if (!QueryServiceStatusEx(opened.service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                 sizeof status, &needed))
    ADD_FAILURE() << scmFailure("QueryServiceStatusEx", name, GetLastError());
  closeService(opened);
  return status;
}
}  // namespace

DWORD serviceProcessId(const std::string& name) {
  return queryStatus(name).dwProcessId;
}

DWORD serviceWin32ExitCode(const std::string& name) {
  return queryStatus(name).dwWin32ExitCode;
}

namespace {
bool queryConfig(const std::string& name, std::string* binaryPath, DWORD* type) {
  OpenedService opened = openService(name, SERVICE_QUERY_CONFIG);
  if (opened.service == nullptr) {
    ADD_FAILURE() << opened.failure;
    return false;
  }
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  bool ok = QueryServiceConfigA(opened.service, config, static_cast<DWORD>(buffer.size()), &needed) != 0;
  if (ok) {
    if (binaryPath != nullptr)
      *binaryPath = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : "";
    if (type != nullptr) *type = config->dwServiceType;
  } else {
    ADD_FAILURE() << scmFailure("QueryServiceConfigA", name, GetLastError());
  }
  closeService(opened);
  return ok;
}
}  // namespace

std::string serviceBinaryPathName(const std::string& name) {
  std::string path;
  queryConfig(name, &path, nullptr);
  return path;
}

DWORD serviceType(const std::string& name) {
  DWORD type = 0;
  queryConfig(name, nullptr, &type);
  return type;
}

::testing::AssertionResult startService(const std::string& name) {
  OpenedService opened = openService(name, SERVICE_START | SERVICE_QUERY_STATUS);
  if (opened.service == nullptr) return ::testing::AssertionFailure() << opened.failure;
  ::testing::AssertionResult result = ::testing::AssertionSuccess();
  if (!StartServiceA(opened.service, 0, nullptr)) {
    DWORD error = GetLastError();
    // What the manager holds afterwards tells a slow start from a service
    // that is still there from before.
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    QueryServiceStatusEx(opened.service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                         sizeof status, &needed);
    result = ::testing::AssertionFailure() << scmFailure("StartServiceA", name, error) << "; state now "
                                           << status.dwCurrentState << ", process " << status.dwProcessId;
  }
  closeService(opened);
  return result;
}

::testing::AssertionResult waitForState(const std::string& name, DWORD state, DWORD timeoutMs) {
  std::string failure;
  DWORD last = 0;
  for (DWORD waited = 0;; waited += 50) {
    last = queryState(name, &failure);
    if (last == state) return ::testing::AssertionSuccess();
    if (waited >= timeoutMs) break;
    Sleep(50);
  }
  ::testing::AssertionResult result = ::testing::AssertionFailure();
  result << name << " not in state " << state << " within " << timeoutMs << " ms; last state " << last;
  if (last == 0) result << ": " << failure;
  return result;
}

namespace {
struct StopRequest {
  std::string name;
  ::testing::AssertionResult accepted = ::testing::AssertionFailure();
  SERVICE_STATUS answer{};
  DWORD answerMs = 0;
};

DWORD WINAPI sendStop(LPVOID argument) {
  auto* request = static_cast<StopRequest*>(argument);
  OpenedService opened = openService(request->name, SERVICE_STOP);
  if (opened.service == nullptr) {
    request->accepted = ::testing::AssertionFailure() << opened.failure;
    return 0;
  }
  DWORD begin = GetTickCount();
  BOOL sent = ControlService(opened.service, SERVICE_CONTROL_STOP, &request->answer);
  request->answerMs = GetTickCount() - begin;
  if (sent)
    request->accepted = ::testing::AssertionSuccess();
  else
    request->accepted = ::testing::AssertionFailure()
                        << scmFailure("ControlService(SERVICE_CONTROL_STOP)", request->name, GetLastError());
  closeService(opened);
  return 0;
}
}  // namespace

namespace {
// One notification of the manager; it arrives as an APC on the thread that
// asked for it.
struct StateNotice {
  SERVICE_NOTIFYW notify{};
  bool arrived = false;
};

VOID CALLBACK noticeArrived(PVOID parameter) {
  auto* notify = static_cast<SERVICE_NOTIFYW*>(parameter);
  static_cast<StateNotice*>(notify->pContext)->arrived = true;
}
}  // namespace

StopResult stopService(const std::string& name, DWORD timeoutMs) {
  // The stop is sent from a thread of its own, so that a handler that does not
  // answer at once is timed, not waited for. The states come from the manager's notifications,
  // taken as each report is made: a short SERVICE_STOP_PENDING cannot fall
  // between two polls.
  StopResult result;
  OpenedService opened = openService(name, SERVICE_QUERY_STATUS);
  if (opened.service == nullptr) {
    ADD_FAILURE() << opened.failure;
    result.accepted = ::testing::AssertionFailure() << "not sent: " << opened.failure;
    result.statesSeen.push_back(0);
    return result;
  }
  SERVICE_STATUS status{};
  if (QueryServiceStatus(opened.service, &status))
    result.statesSeen.push_back(status.dwCurrentState);
  else
    ADD_FAILURE() << scmFailure("QueryServiceStatus", name, GetLastError());
  // The request and the notice live on the heap: a sender that does not come
  // back in time keeps using the one, a notification still due the other.
  auto* request = new StopRequest{name};
  auto* notice = new StateNotice;
  HANDLE sender = nullptr;
  DWORD begin = GetTickCount();
  bool stopped = false;
  for (DWORD mask = SERVICE_NOTIFY_STOP_PENDING | SERVICE_NOTIFY_STOPPED; !stopped;
       mask = SERVICE_NOTIFY_STOPPED) {
    *notice = StateNotice{};
    notice->notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
    notice->notify.pfnNotifyCallback = noticeArrived;
    notice->notify.pContext = notice;
    DWORD error = NotifyServiceStatusChangeW(opened.service, mask, &notice->notify);
    if (error != ERROR_SUCCESS) {
      ADD_FAILURE() << scmFailure("NotifyServiceStatusChangeW", name, error);
      break;
    }
    if (sender == nullptr) sender = CreateThread(nullptr, 0, sendStop, request, 0, nullptr);
    for (DWORD waited = 0; !notice->arrived && waited < timeoutMs; waited = GetTickCount() - begin)
      SleepEx(timeoutMs - waited, TRUE);
    result.milliseconds = GetTickCount() - begin;
    if (!notice->arrived) {
      notice = nullptr;  // still registered
      ADD_FAILURE() << name << " did not report SERVICE_STOPPED within " << timeoutMs << " ms";
      break;
    }
    if (notice->notify.dwNotificationStatus != ERROR_SUCCESS) {
      ADD_FAILURE() << scmFailure("service status notification", name, notice->notify.dwNotificationStatus);
      break;
    }
    DWORD state = notice->notify.ServiceStatus.dwCurrentState;
    if (result.statesSeen.empty() || result.statesSeen.back() != state) result.statesSeen.push_back(state);
    stopped = state == SERVICE_STOPPED;
  }
  delete notice;
  if (!stopped) result.statesSeen.push_back(0);
  closeService(opened);
  if (sender == nullptr) {
    delete request;
    result.accepted = ::testing::AssertionFailure() << "no stop sent to " << name;
  } else if (WaitForSingleObject(sender, timeoutMs) == WAIT_OBJECT_0) {
    result.accepted = request->accepted;
    result.answer = request->answer;
    result.answerMs = request->answerMs;
    delete request;
  } else {
    result.accepted = ::testing::AssertionFailure() << "ControlService(SERVICE_CONTROL_STOP) for " << name
                                                    << " did not return within " << timeoutMs << " ms";
  }
  if (sender != nullptr) CloseHandle(sender);
  return result;
}

std::size_t countOf(const std::string& text, const std::string& token) {
  std::size_t count = 0;
  for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + token.size()))
    ++count;
  return count;
}

bool waitForText(const std::string& path, const std::string& token, std::size_t count, DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += 100) {
    if (countOf(readText(path), token) >= count) return true;
    if (waited >= timeoutMs) return false;
    Sleep(100);
  }
}

std::vector<StandinStart> standinStarts(const Installation& installation) {
  std::vector<StandinStart> starts;
  std::istringstream log(readText(installation.workingDir + "\\standin.log"));
  for (std::string line; std::getline(log, line);) {
    if (line.rfind("start ", 0) != 0) continue;
    StandinStart start;
    char* end = nullptr;
    start.pid = std::strtoul(line.c_str() + 6, &end, 10);
    if (end != nullptr && *end == ' ') start.commandLine = end + 1;
    starts.push_back(start);
  }
  return starts;
}

namespace {

long statusField(const std::string& status, const char* field) {
  std::size_t at = status.find(std::string(field) + ":");
  return at == std::string::npos ? -1
                                 : std::strtol(status.c_str() + at + std::strlen(field) + 1, nullptr, 10);
}

}  // namespace

std::string unixProcessOf(const std::string& program) {
  std::string found;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    std::string pid = entry.cFileName;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    if (readFile("Z:\\proc\\" + pid + "\\cmdline").find(program) == std::string::npos) continue;
    found = "Z:\\proc\\" + pid;
    break;
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

UnixFigures unixFiguresAt(const std::string& process) {
  if (process.empty()) return {};
  std::string status = readFile(process + "\\status");
  return {statusField(status, "VmHWM"), statusField(status, "VmRSS"), statusField(status, "RssAnon")};
}

UnixFigures unixFiguresOf(const std::string& program) {
  return unixFiguresAt(unixProcessOf(program));
}

}  // namespace e2e
