// The real krlxconfig64.exe: the log header, the job each command line chooses, and the
// dialog ending the run or starting the client. A program of its own, so that the
// configurator's mutex is seen only while a configurator runs.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "config_test_support.h"
#include "jre_machine.h"
#include "test_support.h"

using namespace config_testing;
using namespace krlx_testing;
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

// The program in a product folder of its own, whose jre\bin\javaw.exe is the stand-in
// client: the quick discovery finds it, so no disk scan runs. Cancel and the close box end
// the run; Start saves the settings and starts the client through the client link. While
// the first configurator runs, its mutex is there and a second one is not refused.
TEST(ConfiguratorProgram, DialogEndsTheRunOrStartsTheClient) {
    ClearJavaRegistry();
    ClearSettings();
    Machine machine;
    const std::string program = machine.program() + "\\krlxconfig64.exe";
    ASSERT_TRUE(CopyFileTo(builtConfigurator(), program));
    const std::string javaw = machine.PutJava("krlxconfig\\jre\\bin\\javaw.exe");
    ASSERT_TRUE(CopyFileTo(BuildFile("tests\\doubles\\standin_client\\standin_client.exe"), javaw));
    const std::string journal = machine.at("client.journal");
    SetEnvironmentVariableA("STANDIN_CLIENT_JOURNAL", journal.c_str());

    enum Ending { kCancel, kClose, kStart };
    for (Ending ending : {kCancel, kClose, kStart}) {
        SCOPED_TRACE(ending);
        LogWatch watch(ConfigLogPath());
        EXPECT_FALSE(mutexExists());
        StartedProcess configurator;
        ASSERT_TRUE(StartProcess("\"" + program + "\" /setup", configurator));
        HWND dialog = WaitForDialog(configurator.processId, "Corvalis", "Start Corvalis");
        ASSERT_NE(dialog, nullptr);
        char shown[MAX_PATH] = "";
        GetDlgItemTextA(dialog, 1004, shown, sizeof shown);
        EXPECT_EQ(shown, javaw);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
        if (ending == kCancel) {
            EXPECT_TRUE(mutexExists());
            EXPECT_EQ(RunProcess("\"" + program + "\" /remove").exitCode, 0u);
        }
        if (ending == kClose) {
            PostMessageA(dialog, WM_CLOSE, 0, 0);
        } else {
            PressButton(dialog, ending == kCancel ? IDCANCEL : IDOK);
        }
        EXPECT_EQ(configurator.Wait(), 0u);

        // The runtime found once by the start-up's own check (the first run only, which
        // stores it) and once by the dialog; then Start's save and the client's start.
        // Nothing else: no disk scan ran.
        const std::string header = "\n" + std::string(kLogDashes) + "\n-- Corvalis Configurator (x64) ";
        const std::string added = "+++ AddMachine: " + javaw + "\n";
        std::vector<std::string> records = ConfigLogRecords(watch.NewText());
        ASSERT_GE(records.size(), 2u);
        EXPECT_EQ(records[0].rfind(header, 0), 0u) << records[0];
        EXPECT_NE(records[0].find("\n-- " + program + " /setup\n"), std::string::npos) << records[0];
        EXPECT_EQ(records[1], added);
        if (ending == kCancel) {
            ASSERT_EQ(records.size(), 4u);
            EXPECT_EQ(records[2], added);
            EXPECT_NE(records[3].find("\n-- " + program + " /remove\n"), std::string::npos) << records[3];
        } else if (ending == kClose) {
            EXPECT_EQ(records.size(), 2u);
        } else {
            EXPECT_EQ(records.back(), "\n\t----------------------------------------------------------\n\tJRE = " + javaw +
                                          "\n\t----------------------------------------------------------\n");
            for (size_t i = 2; i + 1 < records.size(); i++)
                EXPECT_TRUE(records[i].rfind("replaced batch file ", 0) == 0 ||
                            records[i].rfind("created shortcut:\n", 0) == 0)
                    << records[i];
        }

        std::string stored;
        ReadRegString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", &stored);
        EXPECT_EQ(stored, javaw);
        std::string started;
        if (ending == kStart) {
            for (int i = 0; i < 300 && (started = ReadFileText(journal)).empty(); i++) Sleep(100);
            EXPECT_EQ(started, "\"" + javaw +
                                   "\" -Xmx512m -Dsun.java2d.noddraw=false -classpath "
                                   "\".;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" launcher -root \"" +
                                   machine.root() + "\"\r\n" + machine.program() + "\r\n");
        } else {
            EXPECT_FALSE(FileExists(journal));
        }
    }
    SetEnvironmentVariableA("STANDIN_CLIENT_JOURNAL", nullptr);
    ClearSettings();
}
