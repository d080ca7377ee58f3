// The installation tasks: "/install" and "/remove" of the real krlxconfig64.exe in the
// test prefix, with the links read back through IShellLinkA where Wine's shell folders
// are, the uninstall entries cleaned by their pattern; the shortcut set's choice of
// javaw.exe; and the two tree deletions.
#include <gtest/gtest.h>

#include <objbase.h>
#include <shlobj.h>

#include <functional>
#include <string>

#include "jre_machine.h"
#include "krlxconfig.h"
#include "shell_link_reader.h"
#include "test_support.h"

using namespace krlx_testing;
using namespace testing_support;

namespace {

const char kAddress[] = "https://docs.quorvane.com/corvalis/Corvalis_and_Halvorin.pdf";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kArguments[] =
    "-Xmx512m -Dsun.java2d.noddraw=false -classpath \".;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" "
    "launcher -root \"";

std::string shellFolder(int csidl) {
    char folder[MAX_PATH] = "";
    EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, folder, csidl, TRUE)) << csidl;
    return folder;
}

bool keyExists(const std::string& name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kUninstall) + "\\" + name).c_str(), 0, KEY_READ, &key))
        return false;
    RegCloseKey(key);
    return true;
}

// Every uninstall entry of this test, and what the Start menu and the desktops hold of
// the product, removed before and after.
class InstallTasks : public ::testing::Test {
protected:
    static constexpr const char* kEntries[] = {
        "QZV CorvalisJE 6",    "CorvalisJE",           "corvalisje",  "Corvalis and Halvorin", "Corvalis Client JE 5",
        "corvalis je",         "CORVALIS-JE",          "Corvalis 5",  "Old Corvalis JE",       "CorvalisJE 7",
    };
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    void Clean() {
        ClearSettings();
        for (const char* name : kEntries) DeleteRegTree(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\" + name);
        RemoveTree(programs + "\\QZV");
        RemoveTree(programs + "\\Corvalis");
        RemoveTree(programs + "\\Corvalis JE (R6 Beta)");
        DeleteFileA((desktop + "\\Corvalis.lnk").c_str());
        DeleteFileA((userDesktop + "\\Corvalis_and_Halvorin_InstallLog.log").c_str());
    }
    const std::string programs = shellFolder(CSIDL_COMMON_PROGRAMS);
    const std::string desktop = shellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    const std::string userDesktop = shellFolder(CSIDL_DESKTOPDIRECTORY);
};

}  // namespace

// A product folder with a runtime beside the program, links and entries of older
// releases, then "/install", "/remove" and "/remove" again.
TEST_F(InstallTasks, InstallAndRemoveWithTheRealProgram) {
    Machine machine;
    const std::string program = machine.program();
    const std::string root = machine.root();
    const std::string configurator = program + "\\krlxconfig64.exe";
    ASSERT_TRUE(CopyFileTo(BuildFile("krlxconfig\\krlxconfig64.exe"), configurator));
    machine.PutHome("krlxconfig\\jre");
    // Older releases' leftovers.
    CreateDirectoryA((programs + "\\Corvalis").c_str(), nullptr);
    ASSERT_TRUE(WriteFileText(programs + "\\Corvalis\\Configure JVM.lnk", "old"));
    ASSERT_TRUE(WriteFileText(programs + "\\Corvalis\\Configure JRE.lnk", "old"));
    CreateDirectoryA((programs + "\\Corvalis JE (R6 Beta)").c_str(), nullptr);
    ASSERT_TRUE(WriteFileText(programs + "\\Corvalis JE (R6 Beta)\\Corvalis.lnk", "old"));
    SetFileAttributesA((programs + "\\Corvalis JE (R6 Beta)\\Corvalis.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(WriteFileText(userDesktop + "\\Corvalis_and_Halvorin_InstallLog.log", "log"));
    // A script under the root: the runtime beside the program still gets its own script.
    const std::string rootScript = machine.PutFile("Corvalis.bat", "@echo off\r\nold\r\n");
    for (const char* name : kEntries) {
        if (std::string(name) == "QZV CorvalisJE 6") continue;   // made by "/install"
        ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\" + name, "DisplayName", name));
    }
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, std::string(kUninstall) + "\\Corvalis and Halvorin\\a\\b", "v", "x"));

    ConfigLogWatch log;
    ProcessResult install = RunProcess("\"" + configurator + "\" /install");
    ASSERT_TRUE(install.started);
    EXPECT_EQ(install.exitCode, 1u);

    // The runtime beside the program: javaw.exe in the links, java.exe in the script.
    const std::string javaw = program + "\\jre\\bin\\javaw.exe";
    const std::string shipped = program + "\\krlxconfig.exe";
    const std::string arguments = kArguments + root + "\"";
    const std::string pdfIcon = root + "\\common\\pdf.ico";
    struct Link {
        std::string path;
        std::string target;
        std::string arguments;
        std::string icon;
        int iconIndex;
    } links[] = {
        {programs + "\\QZV\\Corvalis\\Corvalis.lnk", javaw, arguments, shipped, 1},
        {program + "\\Corvalis.lnk", javaw, arguments, shipped, 1},
        {programs + "\\QZV\\Corvalis\\Configure Corvalis.lnk", shipped, "/setup", shipped, 0},
        {programs + "\\QZV\\Corvalis\\Release Notes.lnk", program + "\\doc\\readme.html", "", "", 0},
        {programs + "\\QZV\\Release Notes.lnk", root + "\\readme.html", "", "", 0},
        {programs + "\\QZV\\Halvorin\\Halvorin Quick Start Guide.lnk", root + "\\halvorin\\doc\\Halvorin_User_Guide.pdf",
         "", pdfIcon, 0},
        {programs + "\\QZV\\Corvalis and Halvorin.lnk", kAddress, "", pdfIcon, 0},
        {programs + "\\QZV\\Halvorin\\Release Notes.lnk", root + "\\halvorin\\doc\\readme.html", "", "", 0},
        {desktop + "\\Corvalis.lnk", javaw, arguments, shipped, 1},
    };
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    for (const Link& expected : links) {
        SCOPED_TRACE(expected.path);
        ShellLinkFields link;
        ASSERT_TRUE(ReadShellLink(expected.path, link));
        if (expected.target == kAddress) {
            // Wine's SetPath takes an address for a path relative to the current folder
            // (Windows keeps it); the address itself is in the log.
            EXPECT_EQ(link.target.substr(link.target.find("\\https:\\") + 1),
                      "https:\\docs.quorvane.com\\corvalis\\Corvalis_and_Halvorin.pdf");
        } else {
            EXPECT_EQ(link.target, expected.target);
        }
        EXPECT_EQ(link.arguments, expected.arguments);
        EXPECT_EQ(link.icon, expected.icon);
        if (!expected.icon.empty()) {
            EXPECT_EQ(link.iconIndex, expected.iconIndex);
        }
        EXPECT_EQ(link.workingFolder, program + "\\");
    }
    CoUninitialize();
    std::string created;
    for (const std::string& record : log.Records())
        if (record.rfind("created shortcut:", 0) == 0) created += record;
    EXPECT_NE(created.find("\n\tlink:   \"" + programs + "\\QZV\\Corvalis and Halvorin.lnk\"\n\ttarget: \"" + kAddress +
                           "\"\n\tparams: \"\"\n\ticon:   \"" + pdfIcon + "\",0\n"),
              std::string::npos)
        << created;

    EXPECT_FALSE(FileExists(programs + "\\Corvalis\\Configure JVM.lnk"));
    EXPECT_FALSE(FileExists(programs + "\\Corvalis\\Configure JRE.lnk"));
    EXPECT_FALSE(DirectoryExists(programs + "\\Corvalis JE (R6 Beta)"));
    EXPECT_FALSE(FileExists(userDesktop + "\\Corvalis_and_Halvorin_InstallLog.log"));
    std::string stored;
    EXPECT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", &stored));
    EXPECT_EQ(stored, javaw);
    EXPECT_EQ(ReadFileText(program + "\\Corvalis.bat"),
              "@echo off\r\n\"" + program +
                  "\\jre\\bin\\java.exe\" -Xmx512m -Dsun.java2d.noddraw=false -classpath "
                  "\"%~dp0;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" launcher -root \"" +
                  root + "\" %*");
    EXPECT_EQ(ReadFileText(rootScript), "@echo off\r\nold\r\n");
    // Kept: our own entry, "CorvalisJE" in any case, names not starting with the client's
    // name, and names without "JE" after it.
    for (const char* name : {"QZV CorvalisJE 6", "CorvalisJE", "corvalisje", "Corvalis 5", "Old Corvalis JE"})
        EXPECT_TRUE(keyExists(name)) << name;
    for (const char* name : {"Corvalis and Halvorin", "Corvalis Client JE 5", "corvalis je", "CORVALIS-JE", "CorvalisJE 7"})
        EXPECT_FALSE(keyExists(name)) << name;

    for (int run = 0; run < 2; run++) {
        SCOPED_TRACE(run);
        ProcessResult remove = RunProcess("\"" + configurator + "\" /remove");
        EXPECT_EQ(remove.exitCode, 0u);
        EXPECT_FALSE(DirectoryExists(programs + "\\QZV"));
        // Only the groups go.
        EXPECT_TRUE(FileExists(desktop + "\\Corvalis.lnk"));
        EXPECT_TRUE(FileExists(program + "\\Corvalis.lnk"));
        EXPECT_TRUE(keyExists("QZV CorvalisJE 6"));
    }
}

// Run from another folder, as the 32-bit build runs it where it may not write the program
// folder, with that folder handed over: the runtime beside the program, the script and the
// links follow the program folder, and nothing lands beside the running copy.
TEST_F(InstallTasks, InstallRunFromElsewhereFollowsTheProgramFolderHandedOver) {
    Machine machine;
    TempFolder elsewhere("elsewhere");
    const std::string program = machine.program(), configurator = elsewhere.file("krlxconfig64.exe");
    ASSERT_TRUE(CopyFileTo(BuildFile("krlxconfig\\krlxconfig64.exe"), configurator));
    ASSERT_TRUE(WriteFileText(program + "\\krlxconfig.exe", "MZ"));
    machine.PutHome("krlxconfig\\jre");
    ProcessOptions handOver;
    handOver.environment.push_back("KRLXCONFIG_PROGRAM_FOLDER=" + program);
    EXPECT_EQ(RunProcess("\"" + configurator + "\" /install", handOver).exitCode, 1u);
    ShellLinkFields client, configure;
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_TRUE(ReadShellLink(program + "\\Corvalis.lnk", client));
    EXPECT_TRUE(ReadShellLink(programs + "\\QZV\\Corvalis\\Configure Corvalis.lnk", configure));
    CoUninitialize();
    EXPECT_EQ(client.target, program + "\\jre\\bin\\javaw.exe");
    EXPECT_EQ(client.arguments, kArguments + machine.root() + "\"");
    EXPECT_EQ(client.workingFolder, program + "\\");
    EXPECT_EQ(configure.target, program + "\\krlxconfig.exe");
    EXPECT_TRUE(FileExists(program + "\\Corvalis.bat"));
    EXPECT_FALSE(FileExists(elsewhere.file("Corvalis.bat")));
}

// A given java.exe: the client links open the javaw.exe beside it when there is one; a
// missing script is written for the given runtime. Without any runtime nothing is made.
TEST_F(InstallTasks, ShortcutSetPrefersJavawBesideTheGivenJava) {
    struct Case {
        const char* name;
        bool javawBeside;
        const char* target;
    } cases[] = {
        {"javaw.exe beside", true, "jdk\\bin\\javaw.exe"},
        {"java.exe alone", false, "jdk\\bin\\java.exe"},
    };
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Machine machine;
        std::string java = machine.PutJava("jdk\\bin\\java.exe");
        if (c.javawBeside) machine.PutJava("jdk\\bin\\javaw.exe");
        cstring given(java.c_str());
        EXPECT_EQ(CreateShortcutSet(given, machine.program().c_str()), 1);
        ShellLinkFields link;
        ASSERT_TRUE(ReadShellLink(programs + "\\QZV\\Corvalis\\Corvalis.lnk", link));
        EXPECT_EQ(link.target, machine.at(c.target));
        ASSERT_TRUE(ReadShellLink(machine.program() + "\\Corvalis.lnk", link));
        EXPECT_EQ(link.target, machine.at(c.target));
        EXPECT_EQ(ReadFileText(machine.program() + "\\Corvalis.bat").substr(0, 12 + java.size()),
                  "@echo off\r\n\"" + java);
    }
    CoUninitialize();
}

TEST(DeleteTree, DeletesReadOnlyFilesAndFolders) {
    TempFolder temp("deltree");
    const std::string tree = temp.file("tree");
    for (const char* folder : {"", "\\a", "\\a\\b", "\\c"}) CreateDirectoryA((tree + folder).c_str(), nullptr);
    for (const char* file : {"\\top.txt", "\\a\\ro.txt", "\\a\\b\\deep ro.txt", "\\c\\plain.txt"})
        ASSERT_TRUE(WriteFileText(tree + file, "x"));
    for (const char* file : {"\\a\\ro.txt", "\\a\\b\\deep ro.txt"})
        SetFileAttributesA((tree + file).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);

    // An empty path is not the current drive's root.
    EXPECT_FALSE(DeleteTree(""));
    EXPECT_TRUE(DeleteTree((tree + "\\").c_str()));
    EXPECT_FALSE(DirectoryExists(tree));
    EXPECT_FALSE(DeleteTree(tree.c_str()));
}

// A folder that is itself a link (a junction on Windows; a unix link, which Wine reports
// as a reparse point, here) is never entered: its target's files stay. Wine's RemoveDirectory
// follows a unix link and finds the target not empty, so the link stays here (Windows
// removes it). A unix program's process handle never signals: its effect is waited for.
TEST(DeleteTree, NeverEntersATopFolderThatIsALink) {
    // In this build tree (Z: is the unix root): Wine's process ids repeat in other trees.
    const std::string base = BuildFile("krlxlink" + std::to_string(GetCurrentProcessId()));
    ASSERT_EQ(base.rfind("Z:\\", 0), 0u);
    std::string unixBase = base.substr(2);
    for (char& c : unixBase) c = c == '\\' ? '/' : c;
    auto runUnix = [](std::string command, const std::function<bool()>& done) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
            CloseHandle(process.hThread), CloseHandle(process.hProcess);
        for (int i = 0; i < 200 && !done(); i++) Sleep(50);
        return done();
    };
    const std::string link = base + "\\group", kept = base + "\\target\\kept.txt";
    CreateDirectoryA(base.c_str(), nullptr);
    CreateDirectoryA((base + "\\target").c_str(), nullptr);
    ASSERT_TRUE(WriteFileText(kept, "x"));
    ASSERT_TRUE(runUnix("/bin/ln -s " + unixBase + "/target " + unixBase + "/group", [&] {
        DWORD attributes = GetFileAttributesA(link.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }));
    DeleteTree(link.c_str());
    EXPECT_TRUE(FileExists(kept));
    EXPECT_TRUE(runUnix("/bin/rm -rf " + unixBase, [&] { return !DirectoryExists(base); }));
}

TEST(DeleteRegistryTree, DeletesThreeLevels) {
    const std::string parent = "Software\\krlxtest" + std::to_string(GetCurrentProcessId());
    DeleteRegTree(HKEY_CURRENT_USER, parent);
    for (const char* key : {"\\tree\\one\\two", "\\tree\\one\\three", "\\tree\\four", "\\sibling"})
        ASSERT_TRUE(WriteRegString(HKEY_CURRENT_USER, parent + key, "value", key));
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, parent.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    EXPECT_TRUE(DeleteRegistryTree(key, "tree"));
    EXPECT_FALSE(DeleteRegistryTree(key, "tree"));
    HKEY left;
    EXPECT_NE(RegOpenKeyExA(key, "tree", 0, KEY_READ, &left), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExA(key, "sibling", 0, KEY_READ, &left), ERROR_SUCCESS);
    RegCloseKey(left);
    RegCloseKey(key);
    DeleteRegTree(HKEY_CURRENT_USER, parent);
}
