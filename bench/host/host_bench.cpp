// The service host as Windows meets it, measured under Wine beside a peer
// service wrapper run the same way: the same Service Control Manager, the same
// stand-in child with the same command line and working directory, tries
// alternated between the two. Rows, each the median of the tries:
//   start   StartService until the child's process exists (its creation time)
//   stop    ControlService(STOP) until the manager reports SERVICE_STOPPED,
//           with a child that ends as soon as its host asks, split in two:
//   request ControlService(STOP) until the request reaches the child (the
//           "shutdown" file appears, or Ctrl+C arrives), as the child notes it
//   end     the child's end until the manager reports SERVICE_STOPPED
//   memory  the host's resident set (its Unix process) while it supervises
//   handles the host's open handles while it supervises
//   idle    the host's CPU time (all its threads, from the kernel's
//           scheduler figures) over the idle seconds while it supervises
// The stand-in is bench/host/prompt_standin.cpp, which reacts at once to both
// kinds of request.
// host_bench ZAQSERVICE.exe STANDIN.exe [PEER.exe] [TRIES] [IDLE_SECONDS]
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr char BENCH_ROOT[] = "C:\\zaqbench";
constexpr char SERVICES_KEY[] = "SYSTEM\\CurrentControlSet\\Services\\";

struct Host {
  const char* label;
  std::string root;
  std::string workingDir;
  std::string serviceName;
  std::string program;  // the service's binary, as the host's Unix command line shows it
  bool peer = false;
};

struct Figures {
  std::vector<double> startMs, stopMs, requestMs, endToStoppedMs, residentKiB, handles, idleCpuMs;
};

void makeDirectories(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  CreateDirectoryA(path.c_str(), nullptr);
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void setRegistryString(const std::string& key, const char* name, const std::string& value, DWORD type) {
  HKEY handle;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
      ERROR_SUCCESS)
    return;
  RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(handle);
}

// The Java command line the service host builds for the layout below.
std::string javaArguments(const std::string& wd) {
  return "-classpath ..\\jars\\client.jar;..\\jars\\client.jar;" + wd +
         "\\scripts\\com.qzr.vqm.nac.posture.PolicyCollector\\swt.jar;..\\jars\\boot\\boot.jar "
         "-Dconfig_file=" +
         wd + "\\client.pref -Dsun.net.inetaddr.ttl=0 -Dnetworkaddress.cache.ttl=0  -DVQMHOME=" + wd +
         " -DVQM_CLIENT_INST_DIR=" + wd + " -Xmx256m -Dtrova.logCmdPort=1952  -Djava.compiler=NONE  " +
         "com/qzr/vqm/client/VQMClient";
}

void removeService(SC_HANDLE manager, const std::string& name) {
  SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
  if (service == nullptr) return;
  SERVICE_STATUS status;
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  for (int i = 0; i < 200 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED;
       ++i)
    Sleep(50);
  DeleteService(service);
  CloseServiceHandle(service);
}

// An agent installation under root with the stand-in as its Java launcher,
// registered as a demand-started service whose binary is hostProgram.
bool layOut(SC_HANDLE manager, Host& host, const std::string& hostProgram, const std::string& standin) {
  removeService(manager, host.serviceName);
  host.workingDir = host.root + "\\client";
  makeDirectories(host.workingDir);
  makeDirectories(host.root + "\\jars\\boot");
  makeDirectories(host.root + "\\_jvm\\bin");
  writeFile(host.root + "\\jars\\client.jar", "");
  writeFile(host.root + "\\jars\\boot\\boot.jar", "");
  writeFile(host.workingDir + "\\client.pref", "jvm.heap.max=256m\n");
  std::string launcher = host.root + "\\_jvm\\bin\\java.exe";
  if (!CopyFileA(standin.c_str(), launcher.c_str(), FALSE)) return false;
  std::string programName = host.peer ? "\\nssm64.exe" : "\\" + host.serviceName + ".exe";
  host.program = (host.peer ? host.root : host.workingDir) + programName;
  if (!CopyFileA(hostProgram.c_str(), host.program.c_str(), FALSE)) return false;
  std::string key = SERVICES_KEY + host.serviceName;
  SC_HANDLE service = CreateServiceA(manager, host.serviceName.c_str(), host.label, SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                     host.program.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
  if (service == nullptr) return false;
  CloseServiceHandle(service);
  if (host.peer) {
    // The peer's documented registry parameters: the same program, arguments
    // and working directory as the service host uses.
    std::string parameters = key + "\\Parameters";
    setRegistryString(parameters, "Application", launcher, REG_EXPAND_SZ);
    setRegistryString(parameters, "AppParameters", javaArguments(host.workingDir), REG_EXPAND_SZ);
    setRegistryString(parameters, "AppDirectory", host.workingDir, REG_EXPAND_SZ);
  } else {
    setRegistryString(SERVICES_KEY + std::string("VQM_Client") + host.serviceName.substr(10),
                      "WorkingDirectory", host.workingDir, REG_SZ);
  }
  return true;
}

double nowMs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

ULONGLONG fileTimeOf(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The stand-in's process id from its first "start <pid> ..." line.
DWORD standinPid(const Host& host) {
  std::string log = readFile(host.workingDir + "\\standin.log");
  if (log.rfind("start ", 0) != 0) return 0;
  return std::strtoul(log.c_str() + 6, nullptr, 10);
}

// When the request reached the stand-in: the performance counter in
// milliseconds of its "asked <how> <ms>" line, or -1.
double askedAtMs(const Host& host) {
  std::string log = readFile(host.workingDir + "\\standin.log");
  std::size_t at = log.find("\nasked ");
  if (at == std::string::npos) return -1;
  std::size_t number = log.find(' ', at + 7);
  return number == std::string::npos ? -1 : std::strtod(log.c_str() + number + 1, nullptr);
}

// The Unix process whose command line holds the host's program.
std::string unixPidOf(const Host& host) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA("Z:\\proc\\*", &entry);
  std::string found;
  if (search == INVALID_HANDLE_VALUE) return found;
  do {
    std::string pid = entry.cFileName;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string commandLine = readFile("Z:\\proc\\" + pid + "\\cmdline");
    if (commandLine.find(host.program) != std::string::npos) {
      found = pid;
      break;
    }
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

long residentKiB(const std::string& unixPid) {
  std::string status = readFile("Z:\\proc\\" + unixPid + "\\status");
  std::size_t at = status.find("VmRSS:");
  return at == std::string::npos ? -1 : std::strtol(status.c_str() + at + 6, nullptr, 10);
}

// CPU time of every thread of the Unix process, in nanoseconds.
unsigned long long cpuNs(const std::string& unixPid) {
  unsigned long long total = 0;
  WIN32_FIND_DATAA entry;
  std::string tasks = "Z:\\proc\\" + unixPid + "\\task\\";
  HANDLE search = FindFirstFileA((tasks + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  do {
    std::string tid = entry.cFileName;
    if (tid.find_first_not_of("0123456789") != std::string::npos) continue;
    total += std::strtoull(readFile(tasks + tid + "\\schedstat").c_str(), nullptr, 10);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return total;
}

// Handles of process id, from the system's handle table (Wine answers
// GetProcessHandleCount for the calling process only).
struct HandleEntry {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handleValue;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG handleAttributes;
  ULONG reserved;
};
struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG SYSTEM_EXTENDED_HANDLE_INFORMATION = 64;
constexpr LONG STATUS_INFO_LENGTH_MISMATCH = static_cast<LONG>(0xC0000004);

long handleCount(DWORD processId) {
  auto query = reinterpret_cast<QuerySystemInformation>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  if (query == nullptr) return -1;
  std::vector<char> buffer(1 << 20);
  LONG status;
  ULONG needed = 0;
  while ((status = query(SYSTEM_EXTENDED_HANDLE_INFORMATION, buffer.data(), static_cast<ULONG>(buffer.size()),
                         &needed)) == STATUS_INFO_LENGTH_MISMATCH &&
         buffer.size() < (64u << 20))
    buffer.resize(buffer.size() * 2);
  if (status != 0) return -1;
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  std::size_t room = (buffer.size() - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
  long count = 0;
  for (ULONG_PTR i = 0; i < table->count && i < room; ++i)
    if (table->entries[i].processId == processId) ++count;
  return count;
}

DWORD serviceProcess(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                            &needed))
    return 0;
  return status.dwProcessId;
}

bool oneTry(SC_HANDLE manager, const Host& host, DWORD idleSeconds, Figures& figures) {
  DeleteFileA((host.workingDir + "\\standin.log").c_str());
  SC_HANDLE service = OpenServiceA(manager, host.serviceName.c_str(), SERVICE_ALL_ACCESS);
  if (service == nullptr) return false;
  FILETIME requested;
  GetSystemTimeAsFileTime(&requested);
  bool ok = StartServiceA(service, 0, nullptr) != 0;
  DWORD child = 0;
  for (double begin = nowMs(); ok && child == 0 && nowMs() - begin < 20000; Sleep(5))
    child = standinPid(host);
  HANDLE childProcess = child != 0 ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child) : nullptr;
  FILETIME created, exited, kernel, user;
  if (childProcess == nullptr || !GetProcessTimes(childProcess, &created, &exited, &kernel, &user)) {
    std::printf("  %s: no child seen (error %lu)\n", host.label, GetLastError());
    ok = false;
  } else {
    figures.startMs.push_back((fileTimeOf(created) - fileTimeOf(requested)) / 10000.0);
  }
  if (childProcess != nullptr) CloseHandle(childProcess);
  HANDLE childEnd = child != 0 ? OpenProcess(SYNCHRONIZE, FALSE, child) : nullptr;
  Sleep(2000);  // settled: supervising
  DWORD hostPid = serviceProcess(service);
  HANDLE hostProcess = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, hostPid);
  std::string unixPid = unixPidOf(host);
  long handles = handleCount(hostPid);
  if (ok && handles > 0) figures.handles.push_back(handles);
  if (ok && !unixPid.empty()) figures.residentKiB.push_back(residentKiB(unixPid));
  if (ok && idleSeconds > 0 && !unixPid.empty()) {
    unsigned long long before = cpuNs(unixPid);
    Sleep(idleSeconds * 1000);
    figures.idleCpuMs.push_back((cpuNs(unixPid) - before) / 1e6 * 60.0 / idleSeconds);
  }
  SERVICE_STATUS status{};
  double begin = nowMs();
  double endedAt = -1;
  if (ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
           nowMs() - begin < 30000) {
      if (endedAt < 0 && childEnd != nullptr && WaitForSingleObject(childEnd, 0) == WAIT_OBJECT_0)
        endedAt = nowMs();
      Sleep(1);
    }
    double stoppedAt = nowMs();
    if (endedAt < 0 && childEnd != nullptr && WaitForSingleObject(childEnd, 0) == WAIT_OBJECT_0)
      endedAt = stoppedAt;
    double askedAt = askedAtMs(host);
    if (status.dwCurrentState == SERVICE_STOPPED && ok) {
      figures.stopMs.push_back(stoppedAt - begin);
      if (askedAt >= 0) figures.requestMs.push_back(askedAt - begin);
      if (endedAt >= 0) figures.endToStoppedMs.push_back(stoppedAt - endedAt);
    }
  }
  if (childEnd != nullptr) CloseHandle(childEnd);
  if (ok && !figures.stopMs.empty())
    std::printf(
        "  %-10s start %7.1f ms, stop %7.1f ms (request %s ms, end to stopped %s ms)\n", host.label,
        figures.startMs.back(), figures.stopMs.back(),
        figures.requestMs.empty() ? "n/a" : std::to_string(figures.requestMs.back()).c_str(),
        figures.endToStoppedMs.empty() ? "n/a" : std::to_string(figures.endToStoppedMs.back()).c_str());
  if (hostProcess != nullptr) {
    WaitForSingleObject(hostProcess, 10000);
    CloseHandle(hostProcess);
  }
  CloseServiceHandle(service);
  Sleep(500);  // the rescan port is free again
  return ok;
}

double median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  std::size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void printRow(const char* row, const char* unit, const std::vector<double>& ours,
              const std::vector<double>* peer) {
  double a = median(ours);
  std::printf("%-38s %10.1f", (std::string(row) + " (" + unit + ")").c_str(), a);
  if (peer != nullptr) {
    double b = median(*peer);
    std::printf(" %10.1f", b);
    if (a > 0 && b > 0)
      std::printf("   %5.2f", a / b);
    else
      std::printf("     n/a");
  }
  std::printf("   (%zu tries)\n", ours.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: host_bench ZAQSERVICE.exe STANDIN.exe [PEER.exe] [TRIES] [IDLE_SECONDS]\n");
    return 2;
  }
  std::string peerProgram = argc > 3 ? argv[3] : "";
  int tries = argc > 4 ? static_cast<int>(std::strtol(argv[4], nullptr, 10)) : 5;
  DWORD idleSeconds = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : 60;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (manager == nullptr) {
    std::fprintf(stderr, "OpenSCManagerA failed: %lu\n", GetLastError());
    return 1;
  }
  Host ours{"zaqservice", std::string(BENCH_ROOT) + "\\ours", "", "zaqservice901", "", false};
  Host peer{"peer", std::string(BENCH_ROOT) + "\\peer", "", "zaqbenchpeer", "", true};
  if (!layOut(manager, ours, argv[1], argv[2])) {
    std::fprintf(stderr, "laying out the service host failed: %lu\n", GetLastError());
    return 1;
  }
  bool withPeer = !peerProgram.empty() && layOut(manager, peer, peerProgram, argv[2]);
  if (!peerProgram.empty() && !withPeer) std::printf("peer not laid out (error %lu)\n", GetLastError());
  Figures oursFigures, peerFigures;
  // Alternated, ours first in odd tries and second in even ones; the idle
  // minute is measured in the first try of each.
  for (int t = 0; t < tries; ++t) {
    DWORD idle = t == 0 ? idleSeconds : 0;
    std::printf("try %d\n", t + 1);
    std::fflush(stdout);
    if (withPeer && t % 2 == 1) oneTry(manager, peer, idle, peerFigures);
    oneTry(manager, ours, idle, oursFigures);
    if (withPeer && t % 2 == 0) oneTry(manager, peer, idle, peerFigures);
  }
  std::printf("\n%-38s %10s%s\n", "row (median)", "zaqservice", withPeer ? "       peer   ratio" : "");
  const Figures* p = withPeer ? &peerFigures : nullptr;
  printRow("start to child's creation", "ms", oursFigures.startMs, p ? &p->startMs : nullptr);
  printRow("stop to SERVICE_STOPPED", "ms", oursFigures.stopMs, p ? &p->stopMs : nullptr);
  printRow("  stop to the child's request", "ms", oursFigures.requestMs, p ? &p->requestMs : nullptr);
  printRow("  child's end to SERVICE_STOPPED", "ms", oursFigures.endToStoppedMs,
           p ? &p->endToStoppedMs : nullptr);
  printRow("resident memory", "KiB", oursFigures.residentKiB, p ? &p->residentKiB : nullptr);
  printRow("open handles", "count", oursFigures.handles, p ? &p->handles : nullptr);
  printRow("idle CPU", "ms per minute", oursFigures.idleCpuMs, p ? &p->idleCpuMs : nullptr);
  removeService(manager, ours.serviceName);
  if (withPeer) removeService(manager, peer.serviceName);
  CloseServiceHandle(manager);
  return 0;
}
