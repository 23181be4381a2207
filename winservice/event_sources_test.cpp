#include "winservice/event_sources.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "tests/support/services_registry.h"
#include "winservice/service_commands.h"
#include "winservice/service_names.h"
#include "winservice/service_state.h"

namespace {

using zaq::hostState;

struct RegistryValue {
  LONG result = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::string data;
};

RegistryValue sourceValue(const std::string& source, const char* name) {
  RegistryValue value;
  char data[1024];
  DWORD size = sizeof data;
  value.result = RegGetValueA(HKEY_LOCAL_MACHINE, (zaq_test::EVENT_SOURCES_KEY + source).c_str(), name,
                              RRF_RT_ANY | RRF_NOEXPAND, &value.type, data, &size);
  if (value.result == ERROR_SUCCESS) value.data.assign(data, size);
  return value;
}

class EventSources : public ::testing::Test {
 protected:
  void SetUp() override {
    hostState = zaq::ServiceHostState{};
    hostState.serviceName = "zaqevents4";
    zaq::copyBounded(hostState.displayName, sizeof hostState.displayName, "VQM Client - events4");
    removeService();
  }
  void TearDown() override {
    removeService();
    for (const char* source : {"VQM Client - events4", "zaqevents4"}) zaq_test::deleteEventSource(source);
    hostState = zaq::ServiceHostState{};
  }
  static void removeService() {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) return;
    if (SC_HANDLE service = OpenServiceA(manager, "zaqevents4", SERVICE_ALL_ACCESS)) {
      DeleteService(service);
      CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
  }
};

// Install registers both names the records are reported under (Event Viewer
// looks a source up by name), remove deletes them again.
TEST_F(EventSources, InstallRegistersTheProgramForBothNamesAndRemoveDeletesThem) {
  char program[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, program, sizeof program), 0u);
  char* argv[] = {const_cast<char*>("zaqevents4"), const_cast<char*>("-install")};
  testing::internal::CaptureStdout();
  zaq::CmdInstallService(2, argv);
  std::string installed = testing::internal::GetCapturedStdout();
  ASSERT_EQ(installed, "VQM Client - events4 installed as a Windows service.\n");

  for (const char* source : {"VQM Client - events4", "zaqevents4"}) {
    RegistryValue file = sourceValue(source, "EventMessageFile");
    ASSERT_EQ(file.result, ERROR_SUCCESS) << source;
    EXPECT_EQ(file.type, static_cast<DWORD>(REG_EXPAND_SZ)) << source;
    EXPECT_EQ(file.data, std::string(program) + '\0') << source;
    RegistryValue types = sourceValue(source, "TypesSupported");
    ASSERT_EQ(types.result, ERROR_SUCCESS) << source;
    EXPECT_EQ(types.type, static_cast<DWORD>(REG_DWORD)) << source;
    EXPECT_EQ(types.data, std::string("\x07\0\0\0", 4)) << source;
  }

  testing::internal::CaptureStdout();
  zaq::CmdRemoveService();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "VQM Client - events4 removed as a Windows service.\n");
  EXPECT_FALSE(zaq_test::eventSourceRegistered("VQM Client - events4"));
  EXPECT_FALSE(zaq_test::eventSourceRegistered("zaqevents4"));
}

// A source of the same name that the product's installer or another program
// registered is theirs: remove deletes only a key that names this program,
// alone or in a list, in any case.
TEST_F(EventSources, RemoveKeepsASourceRegisteredForAnotherProgram) {
  char program[MAX_PATH];
  ASSERT_GT(GetModuleFileNameA(nullptr, program, sizeof program), 0u);
  char* argv[] = {const_cast<char*>("zaqevents4"), const_cast<char*>("-install")};
  testing::internal::CaptureStdout();
  ASSERT_EQ(zaq::CmdInstallService(2, argv), 0u);
  testing::internal::GetCapturedStdout();
  const std::string foreign = "%SystemRoot%\\product\\messages.dll";
  std::string listed = "C:\\product\\other.dll;" + std::string(program);
  for (char& c : listed) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct {
    const char* source;
    const std::string& file;
  } registered[] = {{"VQM Client - events4", foreign}, {"zaqevents4", listed}};
  for (const auto& r : registered)
    ASSERT_EQ(RegSetKeyValueA(
                  HKEY_LOCAL_MACHINE, (zaq_test::EVENT_SOURCES_KEY + std::string(r.source)).c_str(),
                  "EventMessageFile", REG_EXPAND_SZ, r.file.c_str(), static_cast<DWORD>(r.file.size() + 1)),
              ERROR_SUCCESS);

  testing::internal::CaptureStdout();
  EXPECT_EQ(zaq::CmdRemoveService(), 0u);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(sourceValue("VQM Client - events4", "EventMessageFile").data, foreign + '\0');
  EXPECT_FALSE(zaq_test::eventSourceRegistered("zaqevents4"));
}

// What Event Viewer shows for an event of the service host: the message of
// its identifier 0 in the registered program, formatted with the event's one
// string, the whole record, which may hold percent signs and inserts.
TEST(EventMessageTable, IdentifierZeroShowsTheRecordAsItIs) {
  HMODULE program = LoadLibraryExA(ZAQSERVICE_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(program, nullptr) << GetLastError();
  const char record[] =
      "VQM Client Tue Dec 08 04:09:00 2026 service Line: 42, CmdInstallService, 100% %1 %% %n done\n";
  DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(record)};
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, program,
      0, 0, reinterpret_cast<char*>(&text), 0, reinterpret_cast<va_list*>(arguments));
  DWORD error = GetLastError();
  FreeLibrary(program);
  ASSERT_NE(text, nullptr) << error;
  EXPECT_EQ(std::string(text, length), record);
  LocalFree(text);
}

}  // namespace
