// Service helpers against Wine's registry and service manager: the registry record of a
// service, whether its key exists, and deleting a service with its key tree.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "registry.h"
#include "services.h"
#include "test_support.h"

using testing_support::DeleteRegTree;
using testing_support::ReadRegDword;
using testing_support::ReadRegString;

namespace {

const char kService[] = "CommonTestService";
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\CommonTestService";

class CommonServices : public ::testing::Test {
protected:
    void SetUp() override { remove(); }
    void TearDown() override { remove(); }
    static void remove() {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        SC_HANDLE service = manager ? OpenServiceA(manager, kService, SERVICE_ALL_ACCESS) : nullptr;
        if (service) {
            DeleteService(service);
            CloseServiceHandle(service);
        }
        if (manager) CloseServiceHandle(manager);
        DeleteRegTree(HKEY_LOCAL_MACHINE, kServiceKey);
    }
};

}  // namespace

TEST_F(CommonServices, WritesTheRecordAndTellsItExists) {
    EXPECT_FALSE(service_exists(kService));
    ASSERT_TRUE(write_service_record(kService, "%SystemRoot%\\halvorin64.exe", "QZV Test Service", "A test.", true));
    EXPECT_TRUE(service_exists(kService));
    EXPECT_FALSE(service_exists(""));

    std::string text;
    DWORD type = 0, number = 0;
    ASSERT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath", &text, &type));
    EXPECT_EQ(text, "%SystemRoot%\\halvorin64.exe");
    EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
    ASSERT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, kServiceKey, "DisplayName", &text, &type));
    EXPECT_EQ(text, "QZV Test Service");
    EXPECT_EQ(type, DWORD(REG_SZ));
    ASSERT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, kServiceKey, "Description", &text, &type));
    EXPECT_EQ(text, "A test.");
    ASSERT_TRUE(ReadRegDword(HKEY_LOCAL_MACHINE, kServiceKey, "Type", &number));
    EXPECT_EQ(number, 16u);
    ASSERT_TRUE(ReadRegDword(HKEY_LOCAL_MACHINE, kServiceKey, "ErrorControl", &number));
    EXPECT_EQ(number, 1u);
    ASSERT_TRUE(ReadRegDword(HKEY_LOCAL_MACHINE, kServiceKey, "Start", &number));
    EXPECT_EQ(number, 2u);
    // Strings are stored with their terminator.
    HKEY key = open_key_for_reading(HKEY_LOCAL_MACHINE, "%s", kServiceKey);
    ASSERT_NE(key, nullptr);
    DWORD size = 0;
    RegQueryValueExA(key, "DisplayName", nullptr, nullptr, nullptr, &size);
    EXPECT_EQ(size, 17u);
    RegCloseKey(key);

    ASSERT_TRUE(write_service_record(kService, "x.exe", "", "", false));
    ASSERT_TRUE(ReadRegDword(HKEY_LOCAL_MACHINE, kServiceKey, "Start", &number));
    EXPECT_EQ(number, 3u);

    // Unknown to the service manager, the service cannot be deleted there; its key
    // goes all the same, and the last error is the service manager's.
    HKEY sub = create_or_open_key(HKEY_LOCAL_MACHINE, "%s\\Parameters", kServiceKey);
    ASSERT_NE(sub, nullptr);
    RegCloseKey(sub);
    EXPECT_FALSE(delete_service(kService));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SERVICE_DOES_NOT_EXIST));
    EXPECT_FALSE(service_exists(kService));
}

TEST_F(CommonServices, DeletesARegisteredService) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    SC_HANDLE service = CreateServiceA(manager, kService, "QZV Test Service", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       "C:\\windows\\system32\\notepad.exe", nullptr, nullptr, nullptr, nullptr,
                                       nullptr);
    ASSERT_NE(service, nullptr);
    CloseServiceHandle(service);
    EXPECT_TRUE(service_exists(kService));

    EXPECT_TRUE(delete_service(kService));
    service = OpenServiceA(manager, kService, SERVICE_QUERY_STATUS);
    EXPECT_EQ(service, nullptr);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    EXPECT_FALSE(service_exists(kService));

    SetLastError(0);
    EXPECT_FALSE(delete_service(""));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}
