// The configurator's entry: the jobs chosen by the options, their exit codes and windows,
// the log header, and the interactive path with its dialog and boxes; run in this
// process on a thread of its own, and as the real krlxconfig64.exe.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "config_test_support.h"
#include "krlxconfig.h"
#include "test_support.h"

using namespace config_testing;
using namespace testing_support;

namespace {

const char kDashes[] = "-----------------------------------------------------------------";
const char kStartFailure[] =
    "Corvalis could not be started:\n\nError 1902: JRE location cannot be determined\n\n\n"
    "If the problem persists, please re-install the product.";

// One run of the entry on a thread of its own: the windows it leaves are those of that
// thread (a window lives until its thread ends).
struct EntryRun {
    const char* commandLine;
    int exitCode = 0;
    int windows = 0;
    int hiddenWindows = 0;
};

BOOL CALLBACK countWindow(HWND window, LPARAM param) {
    auto* run = reinterpret_cast<EntryRun*>(param);
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    run->windows++;
    if (strcmp(className, "KRLXConfigMainWindow") == 0) run->hiddenWindows++;
    return TRUE;
}

DWORD WINAPI runEntry(void* param) {
    auto* run = static_cast<EntryRun*>(param);
    HMODULE self = GetModuleHandleA(nullptr);
    run->exitCode = RunConfigurator(self, run->commandLine, SW_SHOWNORMAL, false, self);
    EnumThreadWindows(GetCurrentThreadId(), countWindow, reinterpret_cast<LPARAM>(run));
    return 0;
}

void runOnThread(EntryRun& run) {
    HANDLE thread = CreateThread(nullptr, 0, runEntry, &run, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    CloseHandle(thread);
}

std::string systemText(DWORD code) {
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, sizeof text,
                   nullptr);
    return text;
}

std::string builtConfigurator() { return BuildFile("krlxconfig\\krlxconfig64.exe"); }

// The client settings are read on the interactive path: none are stored for these tests.
void removeStoredSettings() {
    DeleteRegTree(HKEY_CURRENT_USER, KRLX_SETTINGS_KEY);
    DeleteRegTree(HKEY_LOCAL_MACHINE, KRLX_SETTINGS_KEY);
}

}  // namespace

TEST(ConfiguratorOptions, AreCaseSensitiveSubstrings) {
    EXPECT_TRUE(HasOption("/install", "/install"));
    EXPECT_TRUE(HasOption("x /installer y", "/install"));
    EXPECT_TRUE(HasOption("/remove/install", "/install"));
    EXPECT_FALSE(HasOption("/INSTALL", "/install"));
    EXPECT_FALSE(HasOption("-install", "/install"));
    EXPECT_FALSE(HasOption("/instal", "/install"));
    EXPECT_FALSE(HasOption("", "/setup"));
    EXPECT_FALSE(HasOption(nullptr, "/setup"));
}

TEST(ConfiguratorEntry, InstallAndRemoveShowNoWindowAndExitZero) {
    for (const char* commandLine : {"/remove", "/install", "/install /remove", "/remove /setup"}) {
        EntryRun run{commandLine};
        runOnThread(run);
        EXPECT_EQ(run.exitCode, 0) << commandLine;
        EXPECT_EQ(run.windows, 0) << commandLine;
    }
}

// This test program has no dialog 103: the dialog cannot be made, which is shown in a
// box titled "Error", and the client is started all the same; without a Java runtime
// its start fails into the log and the "could not be started" box.
TEST(ConfiguratorEntry, InteractivePathWithoutTheDialogStartsTheClientAnyway) {
    removeStoredSettings();
    struct Case {
        const char* commandLine;
        bool setupMode;
    } cases[] = {{"", false}, {"/setup", true}, {"/Setup /INSTALL /Remove", false}};
    for (const Case& c : cases) {
        LogWatch watch(ConfigLogPath());
        MessageBoxAnswerer dialogError("Error");
        MessageBoxAnswerer startFailure(KRLX_PRODUCT_NAME);
        EntryRun run{c.commandLine};
        runOnThread(run);
        dialogError.Stop();
        startFailure.Stop();

        EXPECT_EQ(run.exitCode, 0) << c.commandLine;
        EXPECT_EQ(SetupMode, c.setupMode) << c.commandLine;
        EXPECT_EQ(run.hiddenWindows, 1) << c.commandLine;
        EXPECT_TRUE(dialogError.answered()) << c.commandLine;
        // Wine's wording for the missing resource differs from Windows': compare with the system's.
        EXPECT_EQ(dialogError.text(), systemText(ERROR_RESOURCE_DATA_NOT_FOUND));
        EXPECT_TRUE(startFailure.answered()) << c.commandLine;
        EXPECT_EQ(startFailure.text(), kStartFailure);
        std::vector<std::string> records = ConfigLogRecords(watch.NewText());
        ASSERT_EQ(records.size(), 2u) << c.commandLine;
        // A program without a version block shows 0.0.0.0.
        char self[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, self, sizeof self);
        EXPECT_NE(records[0].find("\n-- Corvalis Configurator (x64) 0.0.0.0 ("), std::string::npos) << records[0];
        EXPECT_NE(records[0].find("\n-- " + std::string(self) + " " + c.commandLine + "\n" + kDashes + "\n"),
                  std::string::npos)
            << records[0];
        EXPECT_EQ(records[1], "-------------\nError 1902: JRE location cannot be determined\n\n");
    }
}

TEST(ConfiguratorProgram, WritesTheHeaderAndRunsTheJobOfItsOptions) {
    TempFolder folder("entry");
    const std::string program = folder.file("krlxconfig64.exe");
    ASSERT_TRUE(CopyFileTo(builtConfigurator(), program));
    const std::string oldLauncher = folder.file("CorvalisJE.exe");
    struct Case {
        const char* commandLine;
        bool installs;   // "/install" deletes the old launcher beside the program
    } cases[] = {
        {"/remove", false},
        {"/install /remove", true},
        {"/remove /install", true},
        {"/installer", true},
        {"/removed", false},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileText(oldLauncher, "old launcher"));
        LogWatch watch(ConfigLogPath());
        ProcessResult run = RunProcess("\"" + program + "\" " + c.commandLine);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, 0u) << c.commandLine;
        EXPECT_EQ(FileExists(oldLauncher), !c.installs) << c.commandLine;

        std::vector<std::string> records = ConfigLogRecords(watch.NewText());
        ASSERT_EQ(records.size(), 1u) << c.commandLine;
        // Wine reports Windows 6.1, which the OS description calls Windows Vista. The
        // build's date and time are those of the compiler: "Mmm dd yyyy hh:mm:ss".
        std::regex header(std::string("\n") + kDashes +
                          "\n-- Corvalis Configurator \\(x64\\) 9\\.0\\.0\\.0 \\([A-Z][a-z][a-z] [ 0-9][0-9] [0-9]{4} "
                          "[0-9]{2}:[0-9]{2}:[0-9]{2}\\) \n"
                          "-- Windows Vista\n"
                          "-- ([^\n]*)\n" +
                          kDashes + "\n");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(records[0], match, header)) << records[0];
        EXPECT_EQ(match[1].str(), program + " " + c.commandLine);
    }
}

TEST(ConfiguratorProgram, DialogCancelledOrClosedEndsWithoutStartingTheClient) {
    removeStoredSettings();
    for (bool cancel : {true, false}) {
        LogWatch watch(ConfigLogPath());
        StartedProcess configurator;
        ASSERT_TRUE(StartProcess("\"" + builtConfigurator() + "\"", configurator));
        HWND dialog = WaitForDialog(configurator.processId, KRLX_PRODUCT_NAME, "Start Corvalis");
        ASSERT_NE(dialog, nullptr);
        if (cancel) {
            // The mutex is there while the first runs, and a second configurator is not refused.
            HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "CorvalisJEConfig.Mutex");
            EXPECT_NE(mutex, nullptr);
            if (mutex) CloseHandle(mutex);
            ProcessResult second = RunProcess("\"" + builtConfigurator() + "\" /remove");
            EXPECT_EQ(second.exitCode, 0u);
            PressButton(dialog, IDCANCEL);
        } else {
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        }
        EXPECT_EQ(configurator.Wait(), 0u);
        // Only headers: the first run's, and the second configurator's after Cancel.
        for (const std::string& record : ConfigLogRecords(watch.NewText()))
            EXPECT_EQ(record.rfind(std::string("\n") + kDashes + "\n-- Corvalis Configurator (x64) 9.0.0.0 (", 0), 0u)
                << record;
    }
}

TEST(ConfiguratorProgram, StartFromTheDialogReportsAClientThatCannotStart) {
    removeStoredSettings();
    LogWatch watch(ConfigLogPath());
    StartedProcess configurator;
    ASSERT_TRUE(StartProcess("\"" + builtConfigurator() + "\" /setup", configurator));
    HWND dialog = WaitForDialog(configurator.processId, KRLX_PRODUCT_NAME, "Start Corvalis");
    ASSERT_NE(dialog, nullptr);
    PressButton(dialog, IDOK);
    HWND box = WaitForDialog(configurator.processId, KRLX_PRODUCT_NAME, "OK");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), kStartFailure);
    PressButton(box, IDOK);
    EXPECT_EQ(configurator.Wait(), 0u);
    std::vector<std::string> records = ConfigLogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1], "-------------\nError 1902: JRE location cannot be determined\n\n");
}
