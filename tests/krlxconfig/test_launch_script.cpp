// The client's start script byte for byte, its backup and replacement, the script folder,
// and the client start through its shortcut: a stand-in client behind the link records
// how it was started; a missing link fails into the entry's box.
#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

#include "config_test_support.h"
#include "exception.h"
#include "os_error.h"
#include "jre_machine.h"
#include "krlxconfig.h"
#include "shell_link_reader.h"
#include "test_support.h"

using namespace config_testing;
using namespace krlx_testing;
using namespace testing_support;

namespace {

const char kScriptTail[] =
    " -Dsun.java2d.noddraw=false -classpath \"%~dp0;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" "
    "launcher -root \"";

// Every "<root>" of pattern replaced by root.
std::string withRoot(std::string pattern, const std::string& root) {
    for (size_t at = pattern.find("<root>"); at != std::string::npos; at = pattern.find("<root>", at + root.size()))
        pattern.replace(at, 6, root);
    return pattern;
}

std::string profileScriptFolder() {
    char profile[MAX_PATH] = "";
    GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile);
    return std::string(profile) + "\\.qzv";
}

void removeScripts(const std::string& folder) {
    for (const char* name : {"\\Corvalis.bat", "\\Corvalis.bat.tmp", "\\Corvalis.bat.bak"})
        DeleteFileA((folder + name).c_str());
}

// Settings cleared before and after each test.
class LaunchScript : public ::testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }
};

}  // namespace

TEST_F(LaunchScript, ScriptBytes) {
    struct Case {
        const char* name;
        const char* runtimeFiles;   // laid out under the root, separated by '|'
        const char* chosen;         // under the root
        DWORD memory;               // 0: nothing stored
        const char* script;         // <root> stands for the machine's root folder
        bool staleTemporary;        // an interrupted run left a longer Corvalis.bat.tmp
    } cases[] = {
        {"javaw.exe gives way to java.exe beside it", "jdk\\bin\\javaw.exe|jdk\\bin\\java.exe", "jdk\\bin\\javaw.exe",
         0, "@echo off\r\n\"<root>\\jdk\\bin\\java.exe\" -Xmx512m"},
        {"javaw.exe alone stays", "jre\\bin\\javaw.exe", "jre\\bin\\javaw.exe", 1024,
         "@echo off\r\n\"<root>\\jre\\bin\\javaw.exe\" -Xmx1024m"},
        {"JAVAW.EXE in capitals", "jdk\\bin\\javaw.exe|jdk\\bin\\java.exe", "JDK\\BIN\\JAVAW.EXE", 0,
         "@echo off\r\n\"<root>\\JDK\\BIN\\java.exe\" -Xmx512m"},
        {"java.exe stays even with javaw.exe beside", "jdk\\bin\\javaw.exe|jdk\\bin\\java.exe", "jdk\\bin\\java.exe",
         2048, "@echo off\r\n\"<root>\\jdk\\bin\\java.exe\" -Xmx2048m"},
        {"a negative heap reads as 512", "jre\\bin\\java.exe", "jre\\bin\\java.exe", 0xFFFFFF00,
         "@echo off\r\n\"<root>\\jre\\bin\\java.exe\" -Xmx512m"},
        {"a stale temporary script is overwritten", "jre\\bin\\java.exe", "jre\\bin\\java.exe", 0,
         "@echo off\r\n\"<root>\\jre\\bin\\java.exe\" -Xmx512m", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        std::string files = c.runtimeFiles;
        for (size_t start = 0, end; start <= files.size(); start = end + 1) {
            end = files.find('|', start);
            if (end == std::string::npos) end = files.size();
            machine.PutJava(files.substr(start, end - start));
        }
        if (c.staleTemporary) {
            ASSERT_TRUE(WriteFileText(machine.program() + "\\Corvalis.bat.tmp", std::string(4096, 'x')));
        }
        ClearSettings();
        if (c.memory) {
            ASSERT_TRUE(WriteMemory(c.memory));
        }
        // The program folder as the executable's folder comes: with its backslash.
        EXPECT_NE(WriteLaunchScript(machine.at(c.chosen).c_str(), (machine.program() + "\\").c_str()), 0);
        std::string expected = withRoot(c.script, machine.root()) + kScriptTail + machine.root() + "\" %*";
        EXPECT_EQ(ReadFileText(machine.program() + "\\Corvalis.bat"), expected);
        EXPECT_FALSE(FileExists(machine.program() + "\\Corvalis.bat.tmp"));
        EXPECT_FALSE(FileExists(machine.program() + "\\Corvalis.bat.bak"));
    }
}

// cmd takes "%" in a script for the start of a variable: the script doubles each one in
// the runtime's path and the root, and the start-script scan reads them single again. The
// shortcut's arguments are not read by cmd and keep the root as it is.
TEST_F(LaunchScript, PercentSignsAreDoubledInTheScriptOnly) {
    struct Row {
        const char *root, *java, *scriptRoot, *scriptJava;   // under the machine's root
    } rows[] = {
        {"50%off", "50%off\\jdk\\bin\\java.exe", "50%%off", "50%%off\\jdk\\bin\\java.exe"},
        {"%", "j%d%k%%\\bin\\java.exe", "%%", "j%%d%%k%%%%\\bin\\java.exe"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.java);
        Machine machine;
        const std::string program = machine.at(row.root) + "\\krlxconfig", java = machine.PutJava(row.java);
        CreateDirectoryA(machine.at(row.root).c_str(), nullptr);
        ASSERT_TRUE(CreateDirectoryA(program.c_str(), nullptr));
        EXPECT_NE(WriteLaunchScript(java.c_str(), program.c_str()), 0);
        EXPECT_EQ(ReadFileText(program + "\\Corvalis.bat"), "@echo off\r\n\"" + machine.at(row.scriptJava) +
                                                                  "\" -Xmx512m" + kScriptTail +
                                                                  machine.at(row.scriptRoot) + "\" %*");
        cstring shortcut;
        AppendShortcutArguments(shortcut, program.c_str());
        EXPECT_TRUE(shortcut.ends_with(("-root \"" + machine.at(row.root) + "\"").c_str(), true)) << shortcut.c_str();
        JreLocationList list;
        ScanBatchFiles(list, program.c_str());
        EXPECT_EQ(list.count(), 1);
        EXPECT_TRUE(list.at(0) && list.at(0)->executable.equals(java.c_str()));
    }
}

// Directly below a drive's root the client's root is the drive itself: Z: is the unix
// root in Wine, writable here.
TEST_F(LaunchScript, ProgramFolderBelowADriveRoot) {
    std::string program = "Z:\\krlxscript" + std::to_string(GetCurrentProcessId());
    RemoveTree(program);
    ASSERT_TRUE(CreateDirectoryA(program.c_str(), nullptr));
    EXPECT_NE(WriteLaunchScript("C:\\jdk\\bin\\java.exe", (program + "\\").c_str()), 0);
    EXPECT_EQ(ReadFileText(program + "\\Corvalis.bat"),
              std::string("@echo off\r\n\"C:\\jdk\\bin\\java.exe\" -Xmx512m") + kScriptTail + "Z:\" %*");
    cstring shortcut("x");
    AppendShortcutArguments(shortcut, program.c_str());
    EXPECT_STREQ(shortcut.c_str(),
                 "x -Xmx512m -Dsun.java2d.noddraw=false -classpath "
                 "\".;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" launcher -root \"Z:\"");
    cstring empty;
    AppendLaunchArguments(empty, program.c_str());
    EXPECT_EQ(std::string(empty.c_str()), std::string("-Xmx512m") + kScriptTail + "Z:\" %*");
    RemoveTree(program);
}

// The first script replaced stays the backup; a read-only program folder sends the script
// to the profile's ".qzv".
TEST_F(LaunchScript, BackupKeepsTheOldestAndReadOnlyFolderFallsBackToTheProfile) {
    Machine machine;
    const std::string script = machine.program() + "\\Corvalis.bat";
    const std::string head = "@echo off\r\n\"C:\\";
    const std::string tail = std::string("\\bin\\java.exe\" -Xmx512m") + kScriptTail + machine.root() + "\" %*";
    for (const char* java : {"first", "second", "third"}) {
        SCOPED_TRACE(java);
        std::string path = std::string("C:\\") + java + "\\bin\\java.exe";
        EXPECT_NE(WriteLaunchScript(path.c_str(), machine.program().c_str()), 0);
        EXPECT_EQ(ReadFileText(script), head + java + tail);
        if (std::string(java) == "first") {
            EXPECT_FALSE(FileExists(script + ".bak"));
        } else {
            EXPECT_EQ(ReadFileText(script + ".bak"), head + "first" + tail);
        }
        EXPECT_FALSE(FileExists(script + ".tmp"));
    }

    const std::string profileFolder = profileScriptFolder();
    removeScripts(profileFolder);
    ASSERT_TRUE(SetFolderReadOnly(machine.program(), true));
    cstring folder;
    EXPECT_TRUE(ScriptFolder(folder, machine.program().c_str()));
    EXPECT_STREQ(folder.c_str(), profileFolder.c_str());
    EXPECT_NE(WriteLaunchScript("C:\\fourth\\bin\\java.exe", machine.program().c_str()), 0);
    SetFolderReadOnly(machine.program(), false);
    EXPECT_EQ(ReadFileText(profileFolder + "\\Corvalis.bat"), head + "fourth" + tail);
    EXPECT_EQ(ReadFileText(script), head + "third" + tail);
    removeScripts(profileFolder);
}

// A read-only script is replaced all the same; its backup keeps the attribute. While
// another program holds the script open without delete sharing it cannot be replaced: the
// old script stays as it was, attributes too, and the new text is not left behind. (Wine
// replaces a read-only file where Windows refuses, so only the held rows fail here.)
TEST_F(LaunchScript, ReplacementOfAReadOnlyOrHeldScript) {
    for (DWORD readOnly : {DWORD(FILE_ATTRIBUTE_READONLY), DWORD(0)}) {
        for (bool held : {false, true}) {
            SCOPED_TRACE(std::to_string(readOnly) + std::to_string(held));
            Machine machine;
            const std::string script = machine.program() + "\\Corvalis.bat";
            ASSERT_NE(WriteLaunchScript("C:\\old\\bin\\java.exe", machine.program().c_str()), 0);
            const std::string oldScript = ReadFileText(script);
            ASSERT_TRUE(SetFileAttributesA(script.c_str(), readOnly | FILE_ATTRIBUTE_ARCHIVE));
            HANDLE holder = held ? CreateFileA(script.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                                               nullptr)
                                 : nullptr;
            ConfigLogWatch log;
            EXPECT_EQ(WriteLaunchScript("C:\\new\\bin\\java.exe", machine.program().c_str()), held ? 0 : 1);
            if (holder) CloseHandle(holder);
            EXPECT_EQ(ReadFileText(script) == oldScript, held);
            EXPECT_EQ(GetFileAttributesA(script.c_str()) & FILE_ATTRIBUTE_READONLY, held ? readOnly : 0);
            EXPECT_EQ(ReadFileText(script + ".bak"), oldScript);
            EXPECT_EQ(GetFileAttributesA((script + ".bak").c_str()) & FILE_ATTRIBUTE_READONLY, readOnly);
            EXPECT_FALSE(FileExists(script + ".tmp"));
            std::vector<std::string> records = log.Records();
            ASSERT_EQ(records.size(), 1u);
            EXPECT_EQ(records[0].rfind(held ? "MoveFileEx(" + script + ".tmp, " + script + ") failed\r\nOS Error "
                                            : "replaced batch file " + script + ": JVM=C:\\new\\bin\\java.exe\n",
                                       0),
                      0u)
                << records[0];
        }
    }
}

// The stand-in client behind the client link records its command line and the folder it
// was started in: the link's arguments and working folder.
TEST_F(LaunchScript, StartClientOpensTheClientShortcut) {
    Machine machine;
    const std::string client = machine.at("client\\standin_client.exe");
    CreateDirectoryA(machine.at("client").c_str(), nullptr);
    ASSERT_TRUE(CopyFileTo(BuildFile("tests\\doubles\\standin_client\\standin_client.exe"), client));
    const std::string java = machine.PutJava("jdk\\bin\\java.exe");
    ASSERT_TRUE(WriteJavaExe(java.c_str()));
    const std::string journal = machine.at("client.journal");
    SetEnvironmentVariableA("STANDIN_CLIENT_JOURNAL", journal.c_str());

    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    ShortcutSpec shortcut;
    shortcut.link.format("%s\\Corvalis.lnk", machine.program().c_str());
    shortcut.target = client.c_str();
    AppendShortcutArguments(shortcut.arguments, machine.program().c_str());
    ASSERT_TRUE(CreateShortcut(shortcut, machine.program().c_str()));
    CoUninitialize();

    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof previous, previous);
    ConfigLogWatch log;
    StartClient(machine.program().c_str());
    char current[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof current, current);
    SetCurrentDirectoryA(previous);
    EXPECT_STREQ(current, machine.program().c_str());

    std::string recorded;
    for (int i = 0; i < 300 && (recorded = ReadFileText(journal)).empty(); i++) Sleep(100);
    SetEnvironmentVariableA("STANDIN_CLIENT_JOURNAL", nullptr);
    EXPECT_EQ(recorded, "\"" + client +
                            "\" -Xmx512m -Dsun.java2d.noddraw=false -classpath "
                            "\".;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" launcher -root \"" +
                            machine.root() + "\"\r\n" + machine.program() + "\r\n");
    std::vector<std::string> records = log.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], "\n\t----------------------------------------------------------\n\tJRE = " + java +
                              "\n\t----------------------------------------------------------\n");
}

TEST_F(LaunchScript, MissingShortcutThrows1995) {
    Machine machine;
    ASSERT_TRUE(WriteJavaExe(machine.PutJava("jdk\\bin\\java.exe").c_str()));
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof previous, previous);
    int code = 0;
    std::string message;
    try {
        StartClient(machine.program().c_str());
    } catch (CVelmorException* error) {
        code = error->code();
        message = error->message();
        delete error;
    }
    SetCurrentDirectoryA(previous);
    EXPECT_EQ(code, 1995);
    // ShellExecute answers 2 (file not found); its text is the system's.
    cstring systemText;
    os_error_text(2, systemText);
    EXPECT_EQ(message, "Error 1995: Cannot launch shortcut \"" + machine.program() + "\\Corvalis.lnk\"\n\nOS Error 2: " +
                           systemText.c_str());
}

// The entry's client start, run in this process: this test program has no dialog 103, so
// the entry shows its "Error" box and then starts the client, whose link is missing
// beside this program.
TEST_F(LaunchScript, EntryShowsTheFailedClientStart) {
    Machine machine;
    ASSERT_TRUE(WriteJavaExe(machine.PutJava("jdk\\bin\\java.exe").c_str()));
    cstring folder;
    ScriptFolder(folder);
    const std::string link = std::string(folder.c_str()) + "\\Corvalis.lnk";
    DeleteFileA(link.c_str());
    char previous[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof previous, previous);

    MessageBoxAnswerer dialogError("Error");
    MessageBoxAnswerer startFailure(KRLX_PRODUCT_NAME);
    HMODULE self = GetModuleHandleA(nullptr);
    EXPECT_EQ(RunConfigurator(self, "", SW_SHOWNORMAL, false, self), 0);
    dialogError.Stop();
    startFailure.Stop();
    SetCurrentDirectoryA(previous);
    EXPECT_TRUE(dialogError.answered());
    ASSERT_TRUE(startFailure.answered());
    cstring systemText;
    os_error_text(2, systemText);
    EXPECT_EQ(startFailure.text(), "Corvalis could not be started:\n\nError 1995: Cannot launch shortcut \"" + link +
                                       "\"\n\nOS Error 2: " + systemText.c_str() +
                                       "\n\nIf the problem persists, please re-install the product.");
}
