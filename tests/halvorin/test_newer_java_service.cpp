// The service end to end on a machine whose only Java runtime is a newer one: no VM file
// beside the program, nothing under JavaSoft's and IBM's Java Runtime Environment keys,
// the stand-in VM's home recorded under Eclipse Adoptium's key. halvorin64.exe of a
// temporary product folder is started through Wine's Service Control Manager, reaches
// RUNNING with the Java server in that VM, and stops.
#include <gtest/gtest.h>

#include <string>

#include "product_layout.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kTemurinEntry[] = "SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11\\hotspot\\MSI";

void clearJavaKeys() {
    for (const char* key : {"SOFTWARE\\JavaSoft", "SOFTWARE\\IBM", "SOFTWARE\\Eclipse Adoptium",
                            "SOFTWARE\\Eclipse Foundation", "SOFTWARE\\AdoptOpenJDK"})
        DeleteRegTree(HKEY_LOCAL_MACHINE, key);
}

DWORD waitForState(SC_HANDLE service, DWORD state, DWORD timeoutMs) {
    SERVICE_STATUS status = {};
    for (DWORD start = GetTickCount();
         QueryServiceStatus(service, &status) && status.dwCurrentState != state && GetTickCount() - start < timeoutMs;)
        Sleep(20);
    return status.dwCurrentState;
}

}  // namespace

TEST(NewerJavaService, RunsWithTheOnlyRuntimeUnderEclipseAdoptium) {
    clearJavaKeys();
    ProductLayout layout("temurin", true);   // the stand-in VM in <root>\jre, no halvorin.vm
    layout.writeScript("main = until-stop\n");
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kTemurinEntry, "Path", layout.javaHome()));

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(manager, nullptr);
    RemoveServiceIfPresent(manager, "Halvorin");
    std::string image = "\"" + layout.hostPath() + "\"";
    SC_HANDLE service = CreateServiceA(manager, "Halvorin", "QZV Halvorin Server", SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                       image.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(service, nullptr) << GetLastError();
    LogWatch log;

    // Wine's driver hosts may hold the start lock for a while after the session began.
    BOOL started = FALSE;
    for (int attempt = 0; attempt < 10 && !started; attempt++)
        if (!(started = StartServiceA(service, 0, nullptr)) && GetLastError() != ERROR_SERVICE_DATABASE_LOCKED) break;
    EXPECT_TRUE(started) << GetLastError();
    EXPECT_EQ(waitForState(service, SERVICE_RUNNING, 15000), DWORD(SERVICE_RUNNING));
    bool mainRan = false;
    for (int i = 0; i < 200 && !mainRan; i++) {
        for (const std::string& line : layout.journal()) mainRan = mainRan || line.rfind("main argc=", 0) == 0;
        if (!mainRan) Sleep(50);
    }
    EXPECT_TRUE(mainRan);   // the Java server runs in the VM found under the Adoptium key

    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    EXPECT_EQ(waitForState(service, SERVICE_STOPPED, 30000), DWORD(SERVICE_STOPPED));
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    clearJavaKeys();

    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log.NewText(),
                                {"custom VM was not defined - discovering in registry...\n",
                                 "newer Java source HKLM(64):" + std::string(kTemurinEntry) + ":\n\t   " +
                                     layout.jvmPath() + " is a usable 64-bit Java VM\n",
                                 "Java (64-bit) discovered from HKLM(64):" + std::string(kTemurinEntry) + ":\n\t   " +
                                     layout.jvmPath() + "\n"},
                                &missing))
        << missing;
    EXPECT_TRUE(layout.journalComplaints().empty());
}
