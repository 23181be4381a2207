// The installer author's kit under Wine's Windows Installer: the package of
// this build installed silently, its service running the installation's Java,
// an upgrade from the previous version that keeps what the operator changed,
// and silent uninstalls that leave nothing of the host behind; then the server
// and an agent instance installed side by side. The product's own pieces (the
// Java runtime, the jars, client.pref) are laid out by the test, as the
// product's installer would.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "tests/support/services_registry.h"

namespace e2e {
namespace {

using zaq_test::exists;
using zaq_test::makeDirectories;
using zaq_test::removeTree;

std::string windowsPath(std::string path) {
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

std::string programFiles() {
  char folder[MAX_PATH] = "";
  SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
  return folder;
}

// One property of a package's Property table; "" when it has none.
std::string packageProperty(const std::string& package, const char* name) {
  MSIHANDLE database = 0;
  std::string value;
  if (MsiOpenDatabaseA(package.c_str(), MSIDBOPEN_READONLY, &database) != ERROR_SUCCESS) {
    ADD_FAILURE() << "cannot open " << package;
    return value;
  }
  MSIHANDLE view = 0;
  MSIHANDLE record = 0;
  std::string query = std::string("SELECT `Value` FROM `Property` WHERE `Property` = '") + name + "'";
  if (MsiDatabaseOpenViewA(database, query.c_str(), &view) == ERROR_SUCCESS &&
      MsiViewExecute(view, 0) == ERROR_SUCCESS && MsiViewFetch(view, &record) == ERROR_SUCCESS) {
    char buffer[256];
    DWORD size = sizeof buffer;
    if (MsiRecordGetStringA(record, 1, buffer, &size) == ERROR_SUCCESS) value = buffer;
    MsiCloseHandle(record);
  }
  if (view != 0) MsiCloseHandle(view);
  MsiCloseHandle(database);
  return value;
}

struct Package {
  std::string path;
  std::string upgradeCode;
  std::string productCode;
  std::string version;
};

Package package(const char* path) {
  Package result{windowsPath(path), "", "", ""};
  result.upgradeCode = packageProperty(result.path, "UpgradeCode");
  result.productCode = packageProperty(result.path, "ProductCode");
  result.version = packageProperty(result.path, "ProductVersion");
  return result;
}

bool installed(const Package& package) {
  return MsiQueryProductStateA(package.productCode.c_str()) == INSTALLSTATE_DEFAULT;
}

// The products Windows Installer holds for an UpgradeCode, with their versions.
// (Wine's forgets the UpgradeCode of a product that replaced another: only
// after a plain install or an uninstall does this tell the truth there.)
std::vector<std::string> installedVersions(const Package& package) {
  std::vector<std::string> versions;
  char product[39];
  for (DWORD i = 0; MsiEnumRelatedProductsA(package.upgradeCode.c_str(), 0, i, product) == ERROR_SUCCESS;
       ++i) {
    char version[64];
    DWORD size = sizeof version;
    if (MsiGetProductInfoA(product, INSTALLPROPERTY_VERSIONSTRING, version, &size) != ERROR_SUCCESS)
      version[0] = '\0';
    versions.push_back(version);
  }
  return versions;
}

// msiexec with arguments; its exit code (as Windows gives it, all of it).
DWORD msiexec(const std::string& arguments) {
  char system[MAX_PATH];
  GetSystemDirectoryA(system, sizeof system);
  ConsoleRun run = runConsole(std::string(system) + "\\msiexec.exe", "msiexec " + arguments, "C:\\", 300000);
  if (run.exitCode != 0)
    ADD_FAILURE() << "msiexec " << arguments << ": " << run.exitCode << run.out << run.err;
  return run.exitCode;
}

// Removes what a failed step left installed of the package's product (each
// run starts from a new prefix).
void uninstallLeftovers(const Package& package) {
  if (installed(package)) msiexec("/x " + package.productCode + " /qn");
}

// One installation the package makes, as the host names it.
struct Expected {
  std::string folder;       // the installation folder (the working directory)
  std::string serviceName;  // also the program's base name
  std::string displayName;
  std::string key;  // under SYSTEM\CurrentControlSet\Services, holding "WorkingDirectory"
  bool agent = true;
  std::string program() const { return folder + "\\" + serviceName + ".exe"; }
};

std::string registryString(const std::string& key, const char* value) {
  char data[2048];
  DWORD size = sizeof data;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), value,
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, data,
                   &size) != ERROR_SUCCESS)
    return "(none)";
  return data;
}

DWORD registryNumber(const std::string& key, const char* value) {
  DWORD data = 0;
  DWORD size = sizeof data;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_DWORD, nullptr, &data, &size) !=
      ERROR_SUCCESS)
    return 0;
  return data;
}

std::vector<std::string> registryStrings(const std::string& key, const char* value) {
  std::vector<std::string> strings;
  char data[4096];
  DWORD size = sizeof data;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, RRF_RT_REG_MULTI_SZ, nullptr, data, &size) !=
      ERROR_SUCCESS)
    return strings;
  for (const char* s = data; s < data + size && *s != '\0'; s += std::strlen(s) + 1) strings.push_back(s);
  return strings;
}

void setRegistryStrings(const std::string& key, const char* value, const std::vector<std::string>& strings) {
  std::string data;
  for (const std::string& s : strings) data += s + '\0';
  data += '\0';
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), value, REG_MULTI_SZ, data.data(),
                            static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
}

bool keyExists(const std::string& key) {
  HKEY handle;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
  RegCloseKey(handle);
  return true;
}

std::size_t occurrences(const std::vector<std::string>& strings, const std::string& wanted) {
  std::size_t count = 0;
  for (const std::string& s : strings) count += s == wanted ? 1 : 0;
  return count;
}

std::string fileVersion(const std::string& path) {
  DWORD ignored = 0;
  std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  if (info.empty() || !GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) ||
      !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size))
    return "(none)";
  return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(fixed->dwFileVersionLS));
}

std::string longPath(const std::string& path) {
  char buffer[MAX_PATH * 2];
  DWORD length = GetLongPathNameA(path.c_str(), buffer, sizeof buffer);
  return length > 0 && length < sizeof buffer ? buffer : path;
}

// The processes that run image (however its path was spelt when started);
// ended when end says so.
std::size_t processesOf(const std::string& image, bool end = false) {
  std::size_t count = 0;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    char path[MAX_PATH * 2];
    DWORD length = sizeof path;
    if (QueryFullProcessImageNameA(process, 0, path, &length) &&
        _stricmp(longPath(path).c_str(), image.c_str()) == 0) {
      ++count;
      if (end) TerminateProcess(process, 1);
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return count;
}

// The configuration of a service that the package registers.
struct ServiceSettings {
  std::string binaryPath, displayName, account, description;
  DWORD type = 0, start = 0;
};

ServiceSettings serviceSettings(const std::string& name) {
  ServiceSettings settings;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      manager != nullptr ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG) : nullptr;
  std::vector<std::uint64_t> buffer(1024);
  DWORD needed = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (service != nullptr && QueryServiceConfigA(service, config, 8192, &needed)) {
    settings = {config->lpBinaryPathName, config->lpDisplayName, config->lpServiceStartName, "",
                config->dwServiceType,    config->dwStartType};
    auto* description = reinterpret_cast<SERVICE_DESCRIPTIONA*>(buffer.data());
    if (QueryServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, reinterpret_cast<BYTE*>(buffer.data()),
                             8192, &needed) &&
        description->lpDescription != nullptr)
      settings.description = description->lpDescription;
  } else {
    ADD_FAILURE() << scmFailure("QueryServiceConfigA", name, GetLastError());
  }
  if (service != nullptr) CloseServiceHandle(service);
  if (manager != nullptr) CloseServiceHandle(manager);
  return settings;
}

// Windows Installer may write the program's path in quotes (a blank is in it).
std::string withoutQuotes(const std::string& path) {
  return path.size() >= 2 && path.front() == '"' && path.back() == '"' ? path.substr(1, path.size() - 2)
                                                                       : path;
}

// The files of the release layout, as the package names them in the installation folder.
void layoutFiles(const std::string& dir, const std::string& relative, std::vector<std::string>* files) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == ".." || (relative.empty() && name == "wix")) continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      layoutFiles(dir + "\\" + name, relative + name + "\\", files);
    else
      files->push_back(relative + name);
  } while (FindNextFileA(search, &entry));
  FindClose(search);
}

std::string installedName(const Expected& expected, const std::string& file) {
  if (file == "zaqservice.exe") return expected.serviceName + ".exe";
  if (file == "README.txt") return "zaqservice-README.txt";
  return file;
}

const std::string EVENT_SOURCES = zaq_test::EVENT_SOURCES_KEY;
const std::string SERVICES = zaq_test::SERVICES_KEY;

// Everything a silent install of the package made: the files as laid out,
// the service for the installed program, the working directory, the event
// sources and the service's environment.
void expectRegistered(const Expected& expected) {
  ASSERT_TRUE(serviceExists(expected.serviceName));
  ServiceSettings service = serviceSettings(expected.serviceName);
  EXPECT_EQ(withoutQuotes(service.binaryPath), expected.program());
  EXPECT_EQ(service.displayName, expected.displayName);
  EXPECT_EQ(service.type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(service.start, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(service.account, "LocalSystem");
  EXPECT_NE(service.description.find(expected.agent ? "VQM agent" : "VQM server"), std::string::npos);
  // A folder as Windows Installer gives it, with its "\".
  EXPECT_EQ(registryString(SERVICES + expected.key, "WorkingDirectory"), expected.folder + "\\");
  for (const std::string& source : {expected.displayName, expected.serviceName}) {
    EXPECT_EQ(registryString(EVENT_SOURCES + source, "EventMessageFile"), expected.program()) << source;
    EXPECT_EQ(registryNumber(EVENT_SOURCES + source, "TypesSupported"), 7u) << source;
  }
  EXPECT_EQ(occurrences(registryStrings(SERVICES + expected.serviceName, "Environment"),
                        "ZELDIR=" + expected.folder + "\\zel"),
            1u);
  EXPECT_EQ(exists(expected.folder + "\\kickscan.exe"), expected.agent);
}

// The files of the layout the package was made from, each in its place.
void expectFilesAsLaidOut(const Expected& expected, const std::string& layout) {
  std::vector<std::string> files;
  layoutFiles(layout, "", &files);
  ASSERT_GT(files.size(), 3u);
  for (const std::string& file : files) {
    if (file == "kickscan.exe" && !expected.agent) continue;
    std::string installed = expected.folder + "\\" + installedName(expected, file);
    EXPECT_TRUE(readFile(installed) == readFile(layout + "\\" + file))
        << installed << " differs from " << file;
  }
}

// Whether the Service Control Manager still knows the service (one marked
// for deletion counts until it is gone).
bool registered(const std::string& name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      manager != nullptr ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : nullptr;
  bool known = service != nullptr || GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
  if (service != nullptr) CloseServiceHandle(service);
  if (manager != nullptr) CloseServiceHandle(manager);
  return known;
}

template <typename Condition>
bool eventually(Condition condition, DWORD timeoutMs) {
  for (DWORD waited = 0; !condition(); waited += 100) {
    if (waited >= timeoutMs) return false;
    Sleep(100);
  }
  return true;
}

// The files a running host holds open: its program and the English catalog.
const char* const HELD_FILES[] = {"winServCMessages.cat"};

// Nothing of the host is left: no service, no event source, no working
// directory value, no program or data file, no Java of the installation
// (heldToo: the files a running host holds included).
void expectRemoved(const Expected& expected, const std::string& java, bool heldToo = true) {
  EXPECT_FALSE(registered(expected.serviceName));
  EXPECT_FALSE(keyExists(SERVICES + expected.serviceName));
  EXPECT_FALSE(keyExists(SERVICES + expected.key));
  EXPECT_FALSE(zaq_test::eventSourceRegistered(expected.displayName));
  EXPECT_FALSE(zaq_test::eventSourceRegistered(expected.serviceName));
  for (const char* file : {"kickscan.exe", "zaqservice-README.txt", "nls", "zel"})
    EXPECT_FALSE(exists(expected.folder + "\\" + file)) << file;
  if (heldToo) {
    for (const char* file : HELD_FILES) EXPECT_FALSE(exists(expected.folder + "\\" + file)) << file;
    EXPECT_FALSE(exists(expected.program()));
  }
  EXPECT_EQ(processesOf(java), 0u);
}

// The agent installation the main package makes, and the product's own pieces
// around it: the Java launcher (the stand-in), the jars and client.pref.
class PackageLife : public ::testing::Test {
 protected:
  void SetUp() override {
    uninstallLeftovers(previous);
    uninstallLeftovers(current);
    root = programFiles() + "\\QZR\\VQM";
    agent = {root + "\\client", "zaqservice", "VQM Client", "VQM_Client", true};
    java = root + "\\_jvm\\bin\\java.exe";
    processesOf(java, true);  // of a run that failed half-way
    removeTree(root);
    makeDirectories(root + "\\_jvm\\bin");
    makeDirectories(root + "\\jars\\boot");
    makeDirectories(agent.folder);
    ASSERT_TRUE(CopyFileA(STANDIN_EXE, java.c_str(), FALSE));
    writeFile(root + "\\jars\\client.jar", "");
    writeFile(root + "\\jars\\boot\\boot.jar", "");
    writeFile(pref(), "jvm.heap.max=256m\n");
    installation = {"", root, agent.folder, agent.serviceName, agent.displayName, agent.program()};
  }

  void TearDown() override {
    uninstallLeftovers(previous);
    uninstallLeftovers(current);
  }

  std::string pref() const { return agent.folder + "\\client.pref"; }
  std::string standinLog() const { return readText(agent.folder + "\\standin.log"); }

  // The installed service runs the installation's Java with the command line
  // the host builds from the working directory Windows Installer wrote and
  // from client.pref (its heap option heap).
  void expectJavaStarted(std::size_t starts, const std::string& heap = "-Xmx256m") {
    ASSERT_TRUE(waitForState(agent.serviceName, SERVICE_RUNNING, 30000));
    ASSERT_TRUE(waitForText(agent.folder + "\\standin.log", "start ", starts, 30000)) << standinLog();
    Installation asTheHostSeesIt = installation;
    char shortForm[MAX_PATH * 2];
    std::string value = registryString(SERVICES + agent.key, "WorkingDirectory");
    DWORD length = GetShortPathNameA(value.c_str(), shortForm, sizeof shortForm);
    asTheHostSeesIt.workingDir = length > 0 && length < sizeof shortForm ? shortForm : value;
    std::string command = expectedJavaCommand(asTheHostSeesIt);
    command.replace(command.find("-Xmx256m"), 8, heap);
    std::vector<StandinStart> started = standinStarts(installation);
    ASSERT_EQ(started.size(), starts);
    EXPECT_EQ(started.back().commandLine, command);
    EXPECT_EQ(processesOf(java), 1u);
  }

  // Wine's Windows Installer sends the stop without waiting for it (Windows
  // waits, Wait="yes"), and goes on to replace or remove the program while
  // the host still runs. Before such a step the test stops the service, as
  // Windows Installer would, and waits for the host to end.
  void stopAsWindowsInstallerWould() {
    std::size_t stopsSeen = countOf(standinLog(), "shutdown seen");
    StopResult stop = stopService(agent.serviceName);
    ASSERT_TRUE(stop.accepted);
    ASSERT_EQ(stop.statesSeen.back(), static_cast<DWORD>(SERVICE_STOPPED));
    ASSERT_TRUE(eventually([&] { return processesOf(agent.program()) == 0; }, 10000));
    EXPECT_EQ(countOf(standinLog(), "shutdown seen"), stopsSeen + 1) << standinLog();
  }

  // The product is gone; the operator's client.pref and the host's message
  // log stay.
  void expectUninstalled(const std::string& prefContent) {
    EXPECT_FALSE(installed(current));
    EXPECT_TRUE(installedVersions(current).empty());
    EXPECT_EQ(readFile(pref()), prefContent);
    EXPECT_TRUE(exists(messageLogPath(agent.serviceName)));
  }

  // A silent uninstall while the service runs: Windows Installer stops it
  // through the Service Control Manager, the host's graceful stop (the
  // application sees "shutdown"), deletes it and removes what the package
  // brought. Under Wine the host ends a moment after msiexec (see above), and
  // the files it held may be left: the test removes them once it has ended.
  void uninstallRunning(const std::string& prefContent) {
    std::size_t stopsSeen = countOf(standinLog(), "shutdown seen");
    ASSERT_EQ(msiexec("/x " + current.path + " /qn"), 0u);
    EXPECT_TRUE(waitForText(agent.folder + "\\standin.log", "shutdown seen", stopsSeen + 1, 15000))
        << standinLog();
    EXPECT_TRUE(eventually(
        [&] { return processesOf(agent.program()) == 0 && !registered(agent.serviceName); }, 20000));
    expectRemoved(agent, java, false);
    expectUninstalled(prefContent);
    for (const char* file : HELD_FILES) DeleteFileA((agent.folder + "\\" + file).c_str());
    DeleteFileA(agent.program().c_str());
  }

  // A silent uninstall of the stopped service leaves nothing of the host.
  void uninstallStopped(const std::string& prefContent) {
    stopAsWindowsInstallerWould();
    ASSERT_EQ(msiexec("/x " + current.path + " /qn"), 0u);
    expectRemoved(agent, java);
    expectUninstalled(prefContent);
  }

  Package current = package(MSI_PACKAGE);
  Package previous = package(MSI_PREVIOUS_PACKAGE);
  std::string root;
  std::string java;
  Expected agent;
  Installation installation;
};

TEST_F(PackageLife, InstallsStartsUpgradesAndUninstallsTheAgent) {
  ASSERT_EQ(current.version, ZAQ_VERSION);
  ASSERT_EQ(previous.upgradeCode, current.upgradeCode);
  ASSERT_NE(previous.productCode, current.productCode);

  // A silent install of this build's package, which starts the service.
  ASSERT_EQ(msiexec("/i " + current.path + " /qn"), 0u);
  EXPECT_EQ(installedVersions(current), std::vector<std::string>{current.version});
  expectRegistered(agent);
  expectFilesAsLaidOut(agent, windowsPath(MSI_LAYOUT));
  expectJavaStarted(1);
  uninstallRunning("jvm.heap.max=256m\n");

  // The previous version, then the operator's changes: client.pref and a
  // variable of the service's environment.
  ASSERT_EQ(msiexec("/i " + previous.path + " /qn"), 0u);
  EXPECT_EQ(installedVersions(current), std::vector<std::string>{previous.version});
  EXPECT_EQ(fileVersion(agent.program()), previous.version);
  EXPECT_EQ(fileVersion(agent.folder + "\\kickscan.exe"), previous.version);
  expectJavaStarted(2);
  const std::string changed = "jvm.heap.max=512m\n";
  writeFile(pref(), changed);
  std::string environmentKey = SERVICES + agent.serviceName;
  std::vector<std::string> environment = registryStrings(environmentKey, "Environment");
  environment.push_back("ZAQ_OPERATOR=kept");
  setRegistryStrings(environmentKey, "Environment", environment);

  // The major upgrade: the new program in place, the old product gone, the
  // service never deleted (what the operator set on it is still there), and
  // running again.
  stopAsWindowsInstallerWould();
  ASSERT_EQ(msiexec("/i " + current.path + " /qn"), 0u);
  EXPECT_TRUE(installed(current));
  EXPECT_FALSE(installed(previous));
  EXPECT_EQ(fileVersion(agent.program()), current.version);
  EXPECT_EQ(fileVersion(agent.folder + "\\kickscan.exe"), current.version);
  expectRegistered(agent);
  expectFilesAsLaidOut(agent, windowsPath(MSI_LAYOUT));
  EXPECT_EQ(occurrences(registryStrings(environmentKey, "Environment"), "ZAQ_OPERATOR=kept"), 1u);
  EXPECT_EQ(readFile(pref()), changed);
  expectJavaStarted(3, "-Xmx512m");
  uninstallStopped(changed);
}

// The other installations of the host, side by side on one computer: the
// server (vqmserver.exe, its own key) and agent instance 2, in a folder of
// the operator's choosing (INSTALLFOLDER). Their services start without a Java
// of theirs and stop again; the installations stand.
TEST(PackageFlavours, InstallTheServerAndAnAgentInstanceSideBySide) {
  std::string base = programFiles() + "\\QZR\\VQM";
  std::string chosen = "C:\\VQM Agents\\second";
  struct Flavour {
    Package package;
    std::string layout;
    std::string properties;
    Expected expected;
  } flavours[] = {
      {package(MSI_SERVER_PACKAGE),
       windowsPath(MSI_SERVER_LAYOUT),
       "",
       {base + "\\server", "vqmserver", "VQM Server", "VQM_Server", false}},
      {package(MSI_INSTANCE_PACKAGE),
       windowsPath(MSI_INSTANCE_LAYOUT),
       " INSTALLFOLDER=\"" + chosen + "\"",
       {chosen, "zaqservice2", "VQM Client - 2", "VQM_Client2", true}},
  };
  for (Flavour& flavour : flavours) uninstallLeftovers(flavour.package);
  removeTree(base);
  removeTree(chosen);
  for (Flavour& flavour : flavours) {
    SCOPED_TRACE(flavour.expected.serviceName);
    ASSERT_EQ(msiexec("/i " + flavour.package.path + " /qn" + flavour.properties), 0u);
    EXPECT_TRUE(waitForState(flavour.expected.serviceName, SERVICE_STOPPED, 30000));
  }
  for (Flavour& flavour : flavours) {
    SCOPED_TRACE(flavour.expected.serviceName);
    EXPECT_EQ(installedVersions(flavour.package), std::vector<std::string>{flavour.package.version});
    expectRegistered(flavour.expected);
    expectFilesAsLaidOut(flavour.expected, flavour.layout);
  }
  for (Flavour& flavour : flavours) {
    SCOPED_TRACE(flavour.expected.serviceName);
    // Windows Installer finds a chosen folder from the installed components;
    // Wine's looks for the files in the default folder unless told again.
    ASSERT_EQ(msiexec("/x " + flavour.package.path + " /qn" + flavour.properties), 0u);
    expectRemoved(flavour.expected, base + "\\_jvm\\bin\\java.exe");
    EXPECT_TRUE(installedVersions(flavour.package).empty());
  }
}

}  // namespace
}  // namespace e2e
