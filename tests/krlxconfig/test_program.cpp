// The real krlxconfig64.exe: the log header, the job each command line chooses, and the
// dialog ending the run or starting the client. A program of its own, so that the
// configurator's mutex is seen only while a configurator runs.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "config_test_support.h"
#include "test_support.h"

using namespace config_testing;
using namespace testing_support;

namespace {

std::string builtConfigurator() { return BuildFile("krlxconfig\\krlxconfig64.exe"); }

bool mutexExists() {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "CorvalisJEConfig.Mutex");
    if (mutex) CloseHandle(mutex);
    return mutex != nullptr;
}

}  // namespace

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
        std::regex header(std::string("\n") + kLogDashes +
                          "\n-- Corvalis Configurator \\(x64\\) 9\\.0\\.0\\.0 \\([A-Z][a-z][a-z] [ 0-9][0-9] [0-9]{4} "
                          "[0-9]{2}:[0-9]{2}:[0-9]{2}\\) \n"
                          "-- Windows Vista\n"
                          "-- ([^\n]*)\n" +
                          kLogDashes + "\n");
        std::smatch match;
        ASSERT_TRUE(std::regex_match(records[0], match, header)) << records[0];
        EXPECT_EQ(match[1].str(), program + " " + c.commandLine);
    }
}

// Cancel and the close box end the run; Start starts the client, which without a Java
// runtime fails into the log and a box. While the first configurator runs, its mutex is
// there and a second one is not refused.
TEST(ConfiguratorProgram, DialogEndsTheRunOrStartsTheClient) {
    RemoveStoredSettings();
    enum Ending { kCancel, kClose, kStart };
    for (Ending ending : {kCancel, kClose, kStart}) {
        LogWatch watch(ConfigLogPath());
        EXPECT_FALSE(mutexExists());
        StartedProcess configurator;
        ASSERT_TRUE(StartProcess("\"" + builtConfigurator() + "\" /setup", configurator));
        HWND dialog = WaitForDialog(configurator.processId, "Corvalis", "Start Corvalis");
        ASSERT_NE(dialog, nullptr);
        if (ending == kCancel) {
            EXPECT_TRUE(mutexExists());
            EXPECT_EQ(RunProcess("\"" + builtConfigurator() + "\" /remove").exitCode, 0u);
        }
        if (ending == kClose) {
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        } else {
            PressButton(dialog, ending == kCancel ? IDCANCEL : IDOK);
        }
        if (ending == kStart) {
            HWND box = WaitForDialog(configurator.processId, "Corvalis", "OK");
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(MessageBoxText(box), kStartFailureText);
            PressButton(box, IDOK);
        }
        EXPECT_EQ(configurator.Wait(), 0u);
        // Headers only (the second configurator's too), but for the failed start.
        std::vector<std::string> records = ConfigLogRecords(watch.NewText());
        ASSERT_EQ(records.size(), ending == kClose ? 1u : 2u);
        for (size_t i = 0; i < records.size(); i++) {
            if (ending == kStart && i == 1) {
                EXPECT_EQ(records[i], "-------------\nError 1902: JRE location cannot be determined\n\n");
            } else {
                EXPECT_EQ(records[i].rfind(std::string("\n") + kLogDashes + "\n-- Corvalis", 0), 0u) << records[i];
            }
        }
    }
}
