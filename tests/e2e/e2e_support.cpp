#include "e2e_support.h"

#include "winservice/service_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace e2e {

namespace {

constexpr char SERVICES_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\";
constexpr char LOG_DIRECTORY[] = "C:\\Program Files\\qzr\\vandel\\common\\WUX\\";

// The unit tests' directory helpers serve here too.
using zaq_test::makeDirectories;
using zaq_test::removeTree;

void setWorkingDirectoryValue(const std::string& key, const std::string& dir) {
  HKEY handle;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, (SERVICES_KEY + key).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                      &handle, nullptr) != ERROR_SUCCESS)
    return;
  RegSetValueExA(handle, "WorkingDirectory", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                 static_cast<DWORD>(dir.size() + 1));
  RegCloseKey(handle);
}

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

SC_HANDLE openService(const std::string& name, DWORD access, SC_HANDLE* manager) {
  *manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (*manager == nullptr) return nullptr;
  SC_HANDLE service = OpenServiceA(*manager, name.c_str(), access);
  if (service == nullptr) CloseServiceHandle(*manager);
  return service;
}

void closeService(SC_HANDLE service, SC_HANDLE manager) {
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

// Stand-ins of the installation that still run (after a failed test) would
// keep the rescan port: end them.
void endStandins(const Installation& installation) {
  for (const StandinStart& start : standinStarts(installation)) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, start.pid);
    if (process == nullptr) continue;
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
  setWorkingDirectoryValue("VQM_Client" + instance, installation.workingDir);
  DeleteFileA(messageLogPath(installation.serviceName).c_str());
  DeleteFileA(traceLogPath(installation.serviceName).c_str());
  return installation;
}

void tearDown(const Installation& installation) {
  SC_HANDLE manager;
  if (SC_HANDLE service = openService(installation.serviceName, SERVICE_ALL_ACCESS, &manager)) {
    SERVICE_STATUS status;
    if (ControlService(service, SERVICE_CONTROL_STOP, &status))
      waitForState(installation.serviceName, SERVICE_STOPPED, 15000);
    DeleteService(service);
    closeService(service, manager);
  }
  endStandins(installation);
  RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                (SERVICES_KEY + std::string("VQM_Client") + installation.instance).c_str());
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
                      directory.c_str(), &startup, &run.process))
    run.process = PROCESS_INFORMATION{};
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

DWORD serviceState(const std::string& name) {
  SC_HANDLE manager;
  SC_HANDLE service = openService(name, SERVICE_QUERY_STATUS, &manager);
  if (service == nullptr) return 0;
  SERVICE_STATUS status{};
  DWORD state = QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
  closeService(service, manager);
  return state;
}

bool serviceExists(const std::string& name) {
  SC_HANDLE manager;
  SC_HANDLE service = openService(name, SERVICE_QUERY_STATUS, &manager);
  if (service == nullptr) return false;
  closeService(service, manager);
  return true;
}

DWORD serviceProcessId(const std::string& name) {
  SC_HANDLE manager;
  SC_HANDLE service = openService(name, SERVICE_QUERY_STATUS, &manager);
  if (service == nullptr) return 0;
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  DWORD pid = QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                   sizeof status, &needed)
                  ? status.dwProcessId
                  : 0;
  closeService(service, manager);
  return pid;
}

namespace {
bool queryConfig(const std::string& name, std::string* binaryPath, DWORD* type) {
  SC_HANDLE manager;
  SC_HANDLE service = openService(name, SERVICE_QUERY_CONFIG, &manager);
  if (service == nullptr) return false;
  std::vector<BYTE> buffer(8192);
  DWORD needed = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  bool ok = QueryServiceConfigA(service, config, static_cast<DWORD>(buffer.size()), &needed) != 0;
  if (ok) {
    if (binaryPath != nullptr)
      *binaryPath = config->lpBinaryPathName != nullptr ? config->lpBinaryPathName : "";
    if (type != nullptr) *type = config->dwServiceType;
  }
  closeService(service, manager);
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

bool startService(const std::string& name) {
  SC_HANDLE manager;
  SC_HANDLE service = openService(name, SERVICE_START, &manager);
  if (service == nullptr) return false;
  bool started = StartServiceA(service, 0, nullptr) != 0;
  closeService(service, manager);
  return started;
}

bool waitForState(const std::string& name, DWORD state, DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += 50) {
    if (serviceState(name) == state) return true;
    if (waited >= timeoutMs) return false;
    Sleep(50);
  }
}

namespace {
struct StopRequest {
  std::string name;
  bool accepted = false;
};

DWORD WINAPI sendStop(LPVOID argument) {
  auto* request = static_cast<StopRequest*>(argument);
  SC_HANDLE manager;
  SC_HANDLE service = openService(request->name, SERVICE_STOP, &manager);
  if (service == nullptr) return 0;
  SERVICE_STATUS status;
  request->accepted = ControlService(service, SERVICE_CONTROL_STOP, &status) != 0;
  closeService(service, manager);
  return 0;
}
}  // namespace

StopResult stopService(const std::string& name, DWORD timeoutMs) {
  // The control handler runs the whole stop sequence, so the stop is sent from
  // a thread of its own while this one watches the states go by.
  StopResult result;
  SC_HANDLE manager;
  SC_HANDLE service = openService(name, SERVICE_QUERY_STATUS, &manager);
  if (service == nullptr) return result;
  StopRequest request{name};
  DWORD begin = GetTickCount();
  HANDLE sender = CreateThread(nullptr, 0, sendStop, &request, 0, nullptr);
  for (;;) {
    SERVICE_STATUS status{};
    DWORD state = QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
    if (state != 0 && (result.statesSeen.empty() || result.statesSeen.back() != state))
      result.statesSeen.push_back(state);
    result.milliseconds = GetTickCount() - begin;
    if (state == SERVICE_STOPPED || state == 0 || result.milliseconds > timeoutMs) break;
    Sleep(1);
  }
  closeService(service, manager);
  WaitForSingleObject(sender, timeoutMs);
  CloseHandle(sender);
  result.accepted = request.accepted;
  return result;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string readText(const std::string& path) {
  std::string text = readFile(path);
  std::string lines;
  for (std::size_t at = 0; at < text.size(); ++at)
    if (!(text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')) lines.push_back(text[at]);
  return lines;
}

void writeFile(const std::string& path, const std::string& content) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return;
  std::fwrite(content.data(), 1, content.size(), file);
  std::fclose(file);
}

bool fileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string messageLogPath(const std::string& name) {
  return std::string(LOG_DIRECTORY) + "logs\\msgWUX_" + name + ".log";
}

std::string traceLogPath(const std::string& name) {
  return std::string(LOG_DIRECTORY) + "ffdc\\traceWUX_" + name + ".log";
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
std::size_t eventsIn(const std::string& text, const char* kind, const std::string& token) {
  std::string channel = std::string(kind) + ":eventlog:";
  std::size_t count = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (line.find(channel) != std::string::npos && line.find(token) != std::string::npos) ++count;
  return count;
}
}  // namespace

std::size_t sessionEvents(const char* kind, const std::string& token) {
  // Wine prints the record's backslashes escaped.
  std::string escaped;
  for (char c : token) {
    escaped.push_back(c);
    if (c == '\\') escaped.push_back(c);
  }
  return eventsIn(readFile(std::string(ZAQ_BINARY_DIR) + "/wine/session.log"), kind, escaped);
}

}  // namespace e2e
