// Installation, upgrade and removal, black-box: the real halvorin64.exe of a temporary
// product folder run with -i, -x and -r against Wine's Service Control Manager and
// registry, checking the registration, the event source, the log and the exit code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "product_layout.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\Halvorin";
const char kEventSourceKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Halvorin";
const char kDescription[] =
    "Provides performance monitoring, alerting, manual task automation and autonomic event response services "
    "for IBM Informix DBMS servers and their host operating system. Information published by this service is "
    "consumed by the Corvalis clients. If this service is disabled, any services that explicitly depend on it "
    "will fail to start.";

bool keyExists(const char* key) {
    HKEY handle;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

DWORD dwordValue(const char* key, const char* name) {
    DWORD value = 0xFFFFFFFF;
    ReadRegDword(HKEY_LOCAL_MACHINE, key, name, &value);
    return value;
}

std::string stringValue(const char* key, const char* name, DWORD* type = nullptr) {
    std::string value;
    ReadRegString(HKEY_LOCAL_MACHINE, key, name, &value, type);
    return value;
}

class HalvorinInstall : public ::testing::Test {
protected:
    void SetUp() override {
        layout.writeServiceSpec(layout.programFolder());
        layout.writeScript("main = until-stop\nmain.stop_delay = 2500\n");
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr);
        RemoveServiceIfPresent(manager, "Halvorin");
        DeleteRegTree(HKEY_LOCAL_MACHINE, kEventSourceKey);
    }

    void TearDown() override {
        RemoveServiceIfPresent(manager, "Halvorin");
        RemoveServiceIfPresent(manager, "HalvorinNameTaken");
        DeleteRegTree(HKEY_LOCAL_MACHINE, kEventSourceKey);
        CloseServiceHandle(manager);
    }

    // Runs halvorin64.exe with the options; every run must end with exit code 0.
    std::string run(const std::string& options) {
        LogWatch watch;
        ProcessOptions limits;
        limits.timeoutMs = 120000;
        ProcessResult result = RunProcess("\"" + layout.hostPath() + "\" " + options, limits);
        EXPECT_TRUE(result.started) << result.err;
        EXPECT_FALSE(result.timedOut);
        EXPECT_EQ(result.exitCode, 0u) << options;
        DWORD processId = 1;
        ReadRegDword(HKEY_LOCAL_MACHINE, "Software\\Quorvane\\Halvorin", "ProcessID", &processId);
        EXPECT_EQ(processId, 0u) << options;
        return watch.NewText();
    }

    bool startService() {
        SC_HANDLE service = OpenServiceA(manager, "Halvorin", SERVICE_ALL_ACCESS);
        if (!service) return false;
        bool started = false;
        for (int attempt = 0; attempt < 10 && !started; attempt++) {
            started = StartServiceA(service, 0, nullptr) != 0;
            if (!started && GetLastError() != ERROR_SERVICE_DATABASE_LOCKED) break;
        }
        SERVICE_STATUS status = {};
        for (int i = 0; started && i < 200 && QueryServiceStatus(service, &status); i++) {
            if (status.dwCurrentState == SERVICE_RUNNING) break;
            Sleep(50);
        }
        CloseServiceHandle(service);
        if (!started || status.dwCurrentState != SERVICE_RUNNING) return false;
        // RUNNING is reported before the JVM thread starts: wait for the Java server itself.
        for (int i = 0; i < 200; i++) {
            for (const std::string& line : layout.journal())
                if (line.rfind("main argc=", 0) == 0) return true;
            Sleep(50);
        }
        return false;
    }

    std::string quotedHost() const { return "\"" + layout.hostPath() + "\""; }

    ProductLayout layout{"install", true};
    SC_HANDLE manager = nullptr;
};

TEST_F(HalvorinInstall, InstallOnACleanMachineRegistersServiceAndEventSource) {
    std::string log = run("-i");
    DWORD type = 0;
    // Wine's CreateService stores ImagePath as REG_SZ, Windows as REG_EXPAND_SZ.
    EXPECT_EQ(stringValue(kServiceKey, "ImagePath", &type), quotedHost());
    EXPECT_TRUE(type == REG_SZ || type == REG_EXPAND_SZ);
    EXPECT_EQ(stringValue(kServiceKey, "DisplayName"), "QZV Halvorin Server (64-bit)");
    EXPECT_EQ(dwordValue(kServiceKey, "Type"), 16u);
    EXPECT_EQ(dwordValue(kServiceKey, "Start"), 3u);
    EXPECT_EQ(dwordValue(kServiceKey, "ErrorControl"), 1u);
    EXPECT_EQ(stringValue(kServiceKey, "Description"), kDescription);
    EXPECT_EQ(stringValue(kEventSourceKey, "EventMessageFile"), layout.programFolder() + "\\krlxmsg64.dll");
    EXPECT_EQ(dwordValue(kEventSourceKey, "TypesSupported"), 4u);

    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log,
                                {"current service start mode: (-1)\n", "-i: reinstalling service (remove/install)\n",
                                 "DeleteService failed - ",
                                 "Halvorin module file for the chosen VM is '" + quotedHost() + "'\n",
                                 "QZV Halvorin Server installed.\n"},
                                &missing))
        << missing << "\n" << log;
    EXPECT_EQ(log.find("OpenService failed"), std::string::npos);   // -i removes quietly
    EXPECT_TRUE(startService());   // the registration really starts the service
}

TEST_F(HalvorinInstall, WithoutAJavaVmTheThirtyTwoBitNamesAreUsed) {
    DeleteFileA((layout.programFolder() + "\\halvorin.vm").c_str());
    run("-i -q");
    EXPECT_EQ(stringValue(kServiceKey, "ImagePath"), "\"" + layout.programFolder() + "\\halvorin.exe\"");
    EXPECT_EQ(stringValue(kServiceKey, "DisplayName"), "QZV Halvorin Server");
    EXPECT_EQ(stringValue(kEventSourceKey, "EventMessageFile"), layout.programFolder() + "\\krlxmsg.dll");
}

TEST_F(HalvorinInstall, UpgradeKeepsRegistrationStartModeAndEventSource) {
    run("-i");
    for (DWORD startMode : {2u, 4u}) {
        SCOPED_TRACE(startMode);
        ASSERT_TRUE(WriteRegDword(HKEY_LOCAL_MACHINE, kServiceKey, "Start", startMode));
        // Values the upgrade must put right again.
        WriteRegString(HKEY_LOCAL_MACHINE, kServiceKey, "DisplayName", "stale");
        WriteRegDword(HKEY_LOCAL_MACHINE, kServiceKey, "ErrorControl", 3);
        WriteRegString(HKEY_LOCAL_MACHINE, kServiceKey, "Description", "stale");
        WriteRegString(HKEY_LOCAL_MACHINE, kEventSourceKey, "Marker", "kept");
        std::string log = run("-x");
        DWORD type = 0;
        EXPECT_EQ(stringValue(kServiceKey, "ImagePath", &type), quotedHost());
        EXPECT_EQ(type, DWORD(REG_EXPAND_SZ));
        EXPECT_EQ(dwordValue(kServiceKey, "Type"), 16u);
        EXPECT_EQ(dwordValue(kServiceKey, "ErrorControl"), 1u);
        EXPECT_EQ(dwordValue(kServiceKey, "Start"), startMode);
        EXPECT_EQ(stringValue(kServiceKey, "DisplayName"), "QZV Halvorin Server (64-bit)");
        EXPECT_EQ(stringValue(kServiceKey, "Description"), kDescription);
        EXPECT_EQ(stringValue(kEventSourceKey, "Marker"), "kept");
        std::string missing;
        EXPECT_TRUE(ContainsInOrder(log,
                                    {"current service start mode: (" + std::to_string(startMode) + ")\n",
                                     "-x: reinstalling service (upgrade/install)\n",
                                     "ServiceExists: the answer is YES\n", "-x: service already exists; will upgrade\n",
                                     "upgrading service 'Halvorin'...\n",
                                     "Halvorin module file for the chosen VM is '" + layout.hostPath() + "'\n",
                                     "service upgrade succeeded\n"},
                                    &missing))
            << missing << "\n" << log;
    }
}

TEST_F(HalvorinInstall, UpgradeStopsARunningServiceFirst) {
    run("-i");
    ASSERT_TRUE(startService());
    std::string log = run("-x");
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log,
                                {"upgrading service 'Halvorin'...\n", "Stopping QZV Halvorin Server.",
                                 "\nQZV Halvorin Server stopped.\n", "service upgrade succeeded\n"},
                                &missing))
        << missing << "\n" << log;
}

TEST_F(HalvorinInstall, UpgradeWithoutAServiceInstallsIt) {
    std::string log = run("-x");
    EXPECT_EQ(stringValue(kServiceKey, "ImagePath"), quotedHost());
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log,
                                {"could not open key HKLM:SYSTEM\\CurrentControlSet\\Services\\Halvorin: Error 2\n",
                                 "ServiceExists: the answer is NO\n",
                                 "-x: service doesn't already exist; will re-install\n", "DeleteService failed - ",
                                 "ServiceExists: the answer is NO\n", "QZV Halvorin Server installed.\n"},
                                &missing))
        << missing << "\n" << log;
}

TEST_F(HalvorinInstall, RemoveStopsDeletesAndCleansTheEventSource) {
    run("-i");
    ASSERT_TRUE(startService());
    std::string log = run("-r");
    EXPECT_FALSE(keyExists(kServiceKey));
    EXPECT_FALSE(keyExists(kEventSourceKey));
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log,
                                {"-r: removing service\n", "Stopping QZV Halvorin Server.",
                                 "\nQZV Halvorin Server stopped.\n", "QZV Halvorin Server remove request submitted.\n",
                                 "ServiceExists: the answer is NO\n"},
                                &missing))
        << missing << "\n" << log;
    // The stand-in server takes 2.5 s to end: the wait logs a dot per second. (The
    // stopping service writes its own records into the same log meanwhile.)
    std::vector<std::string> records = LogRecords(log);
    size_t stopping = 0, dots = 0;
    while (stopping < records.size() && records[stopping] != "Stopping QZV Halvorin Server.") stopping++;
    for (size_t i = stopping + 1; i < records.size() && records[i].rfind("\nQZV Halvorin Server", 0) != 0; i++)
        if (records[i] == ".") dots++;
    EXPECT_GE(dots, 1u);

    log = run("-r");   // nothing left to remove: the failures are logged, the exit code stays 0
    EXPECT_TRUE(ContainsInOrder(log, {"OpenService failed - ", "DeleteService failed - ",
                                      "ServiceExists: the answer is NO\n"},
                                &missing))
        << missing << "\n" << log;
}

// Only a REG_DWORD "Start" is a start mode, and only 2 to 10 are kept. The Service
// Control Manager refuses a start type of 10, so that bound shows only in -x, which
// writes the value itself.
TEST_F(HalvorinInstall, StartModeSurvivesReinstallOnlyWithinItsRange) {
    const struct {
        DWORD type;   // REG_NONE: no value
        DWORD stored;
        const char* options;
        DWORD installed;
    } cases[] = {
        {REG_DWORD, 2, "-i -q", 2},  {REG_DWORD, 4, "-i -q", 4},  {REG_DWORD, 11, "-i -q", 3},
        {REG_DWORD, 1, "-i -q", 3},  {REG_NONE, 0, "-i -q", 3},   {REG_BINARY, 2, "-i -q", 3},
        {REG_BINARY, 4, "-x -q", 3}, {REG_DWORD, 11, "-x -q", 3}, {REG_DWORD, 10, "-x -q", 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.options) + " with type " + std::to_string(c.type) + " value " +
                     std::to_string(c.stored));
        run("-i -q");
        if (c.type == REG_NONE)
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kServiceKey, "Start");
        else
            ASSERT_TRUE(WriteRegValue(HKEY_LOCAL_MACHINE, kServiceKey, "Start", c.type, &c.stored, 4));
        std::string log = run(c.options);
        EXPECT_NE(log.find(std::string("current service start mode: (") +
                           (c.type == REG_DWORD ? std::to_string(c.stored) : "-1") + ")\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(dwordValue(kServiceKey, "Start"), c.installed);
    }
}

TEST_F(HalvorinInstall, AFailedInstallShowsTheBoxUnlessQuiet) {
    // Another service already has the display name, so CreateService refuses (with Wine's
    // text for error 1078).
    SC_HANDLE other = CreateServiceA(manager, "HalvorinNameTaken", "QZV Halvorin Server (64-bit)", SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                     "C:\\nowhere.exe", nullptr, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    CloseServiceHandle(other);

    // Quiet in either spelling: logged, no box, still exit code 0. The quiet test is
    // case-sensitive, so "-Q" still shows the box.
    const struct {
        const char* options;
        bool box;
    } runs[] = {{"-i -q", false}, {"-i /q", false}, {"-i -Q", true}, {"-i", true}};
    for (const auto& r : runs) {
        SCOPED_TRACE(r.options);
        MessageBoxAnswerer answerer("QZV Halvorin Server", 60000);
        std::string log = run(r.options);
        answerer.Stop();
        EXPECT_FALSE(keyExists(kServiceKey));
        EXPECT_EQ(answerer.answered(), r.box);
        std::string missing;
        EXPECT_TRUE(ContainsInOrder(log,
                                    {"CreateService() failed: Duplicate service name. (0x436)\n",
                                     "failed to install/re-install service: Duplicate service name. (0x436)\n"},
                                    &missing))
            << missing << "\n" << log;
        if (!r.box) continue;
        EXPECT_EQ(answerer.text(),
                  "QZV Halvorin (halvorin64.exe) could not install itself\nas Windows service on this computer for "
                  "the following reason:\n\nDuplicate service name. (0x436)\n\nYou still will be able to use most "
                  "of QZV Corvalis features except automation and monitoring.\n\nPlease re-run installation as "
                  "Administrator, or re-run the batch file\ninstall_service.bat located in the Halvorin directory (" +
                      layout.programFolder() + "\\), as Administrator.");
    }
}

}  // namespace
