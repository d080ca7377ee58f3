// The configurator's entry run in this process, on a thread of its own: the jobs that
// show no window, and the interactive path when the dialog cannot be made.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "config_test_support.h"
#include "krlxconfig.h"
#include "test_support.h"

using namespace config_testing;
using namespace testing_support;

namespace {

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

}  // namespace

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
    RemoveStoredSettings();
    struct Case {
        const char* commandLine;
        bool setupMode;
    } cases[] = {{"", false}, {"/setup", true}, {"/Setup /INSTALL /Remove", false}};
    for (const Case& c : cases) {
        LogWatch watch(ConfigLogPath());
        std::string dialogError = "(no box)", startFailure = "(no box)";
        std::thread answer([&] {
            for (auto box : {std::make_pair("Error", &dialogError), std::make_pair("Corvalis", &startFailure)}) {
                HWND window = WaitForDialog(GetCurrentProcessId(), box.first, "OK");
                if (!window) return;
                *box.second = MessageBoxText(window);
                PressButton(window, IDOK);
            }
        });
        EntryRun run{c.commandLine};
        runOnThread(run);
        answer.join();

        EXPECT_EQ(run.exitCode, 0) << c.commandLine;
        EXPECT_EQ(SetupMode, c.setupMode) << c.commandLine;
        EXPECT_EQ(run.hiddenWindows, 1) << c.commandLine;
        // Wine's wording for the missing resource differs from Windows': compare with the system's.
        EXPECT_EQ(dialogError, systemText(ERROR_RESOURCE_DATA_NOT_FOUND));
        EXPECT_EQ(startFailure, kStartFailureText);
        std::vector<std::string> records = ConfigLogRecords(watch.NewText());
        ASSERT_EQ(records.size(), 2u) << c.commandLine;
        // A program without a version block shows 0.0.0.0.
        char self[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, self, sizeof self);
        EXPECT_NE(records[0].find("\n-- Corvalis Configurator (x64) 0.0.0.0 ("), std::string::npos) << records[0];
        EXPECT_NE(records[0].find("\n-- " + std::string(self) + " " + c.commandLine + "\n" + kLogDashes + "\n"),
                  std::string::npos)
            << records[0];
        EXPECT_EQ(records[1], "-------------\nError 1902: JRE location cannot be determined\n\n");
    }
}

// The 64-bit build that the 32-bit one runs from another folder takes the program folder
// handed over when it holds the program. The variable is gone afterwards, so that nothing
// the configurator starts, the client among them, sees it.
TEST(ConfiguratorEntry, TakesTheProgramFolderHandedOver) {
    TempFolder product("handover");
    const std::string program = product.file("krlxconfig"), own = BuildFile("tests\\krlxconfig");
    for (const char* folder : {"krlxconfig", "bare", "folder", "folder\\krlxconfig.exe"})
        ASSERT_TRUE(CreateDirectoryA(product.file(folder).c_str(), nullptr));
    ASSERT_TRUE(WriteFileText(program + "\\krlxconfig.exe", "MZ"));
    const std::string taken = "Program folder handed over: " + program + "\n", tooLong(MAX_PATH + 1, 'x');
    const std::string ignored = "Program folder handed over without krlxconfig.exe in it, ignored: ";
    struct Row {
        bool set;
        std::string value, folder, record;   // record: the log's after the header
    } rows[] = {
        {false, "", own, ""},
        {true, program + "/\\", program, taken},
        {true, product.file("bare"), own, ignored + product.file("bare") + "\n"},
        {true, product.file("folder"), own, ignored + product.file("folder") + "\n"},   // krlxconfig.exe a folder
        {true, tooLong, own, ignored + tooLong + "\n"},
        {true, "", own, ""},   // no hand-over, as when not set
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        SetEnvironmentVariableA("KRLXCONFIG_PROGRAM_FOLDER", row.set ? row.value.c_str() : nullptr);
        LogWatch watch(ConfigLogPath());
        EntryRun run{"/remove"};
        runOnThread(run);
        cstring folder;
        ProgramFolder(folder);
        EXPECT_STRCASEEQ(folder.c_str(), row.folder.c_str());
        EXPECT_EQ(GetEnvironmentVariableA("KRLXCONFIG_PROGRAM_FOLDER", nullptr, 0), 0u);
        std::vector<std::string> records = ConfigLogRecords(watch.NewText());
        ASSERT_FALSE(records.empty());
        records.erase(records.begin());
        EXPECT_EQ(records, std::vector<std::string>(row.record.empty() ? 0 : 1, row.record));
    }
}
