// The permission checks and the shell folders: CanWriteDirectory on writable, read-only,
// missing and unreadable folders, with no handle or impersonation left behind;
// CanWriteMachineRegistry; GetShellFolder for every CSIDL the configurator asks for.
#include <gtest/gtest.h>

#include <string>

#include "config_test_support.h"
#include "krlxconfig.h"
#include "test_support.h"

using namespace config_testing;
using namespace testing_support;

namespace {

// Valid handle values of this process, found by asking for each one's flags. Wine
// reports no handle count (GetProcessHandleCount gives 0); it hands out the lowest free
// values, and this program holds far fewer than 4096 handles.
int countHandles() {
    int count = 0;
    for (ULONG_PTR value = 4; value < 0x4000; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) count++;
    }
    return count;
}

bool threadIsImpersonating() {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) return GetLastError() != ERROR_NO_TOKEN;
    CloseHandle(token);
    return true;
}

std::string userName() {
    char name[256] = "";
    DWORD size = sizeof name;
    GetUserNameA(name, &size);
    return name;
}

}  // namespace

// Wine rebuilds a folder's DACL from its mode bits: a DACL of many entries reads back
// in about 140 bytes, so the larger second read of a descriptor past 1024 bytes is never
// reached here.
TEST(CanWriteDirectory, AnswersFromTheFolderSecurity) {
    TempFolder folder("access");
    std::string readOnly = folder.file("read-only");
    ASSERT_TRUE(CreateDirectoryA(readOnly.c_str(), nullptr));
    ASSERT_TRUE(SetFolderReadOnly(readOnly, true));

    LogWatch watch(ConfigLogPath());
    EXPECT_TRUE(CanWriteDirectory(folder.path().c_str()));
    EXPECT_TRUE(CanWriteDirectory((folder.path() + "\\").c_str()));
    // Wine maps the read-and-execute DACL to mode bits and AccessCheck reads them back.
    EXPECT_FALSE(CanWriteDirectory(readOnly.c_str()));
    EXPECT_TRUE(SetFolderReadOnly(readOnly, false));
    EXPECT_TRUE(CanWriteDirectory(readOnly.c_str()));
    // Answers that AccessCheck gave are not failures: nothing is logged.
    EXPECT_EQ(watch.NewText(), "");
}

// A folder whose descriptor cannot be read answers false and logs the failure. Run as
// root, Wine reads the descriptor of every existing folder; paths that do not lead to
// one are what cannot be read here.
TEST(CanWriteDirectory, UnreadableDescriptorIsLoggedAndAnsweredFalse) {
    TempFolder folder("access");
    struct Case {
        std::string path;
        int osError;
    } cases[] = {
        {folder.file("missing"), ERROR_FILE_NOT_FOUND},
        {folder.file("missing\\below"), ERROR_PATH_NOT_FOUND},
        {"", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases) {
        LogWatch watch(ConfigLogPath());
        EXPECT_FALSE(CanWriteDirectory(c.path.c_str())) << c.path;
        std::vector<std::string> records = ConfigLogRecords(watch.NewText());
        ASSERT_EQ(records.size(), 1u) << c.path;
        std::string expected = "-------------\nError 2018: Cannot obtain directory security descriptor\nOS Error " +
                               std::to_string(c.osError) + ": ";
        EXPECT_EQ(records[0].rfind(expected, 0), 0u) << records[0];
        EXPECT_EQ(records[0].back(), '\n');
    }
}

TEST(CanWriteDirectory, LeavesNoHandleOpenAndTheThreadNotImpersonating) {
    TempFolder folder("access");
    std::string readOnly = folder.file("read-only");
    ASSERT_TRUE(CreateDirectoryA(readOnly.c_str(), nullptr));
    ASSERT_TRUE(SetFolderReadOnly(readOnly, true));
    std::string missing = folder.file("missing");
    // Warm up: the first calls load libraries and open the log once for good.
    CanWriteDirectory(folder.path().c_str());
    CanWriteDirectory(missing.c_str());

    int before = countHandles();
    for (int i = 0; i < 40; i++) {
        EXPECT_TRUE(CanWriteDirectory(folder.path().c_str()));
        EXPECT_FALSE(CanWriteDirectory(readOnly.c_str()));
        EXPECT_FALSE(CanWriteDirectory(missing.c_str()));
        ASSERT_FALSE(threadIsImpersonating()) << "after call " << i;
    }
    EXPECT_EQ(countHandles(), before);
    SetFolderReadOnly(readOnly, false);
}

// Wine keeps no registry security, so the false answer of a user without administrator
// rights cannot be shown here: every test user may write everywhere. What can be shown is
// that the question stores no value in HKEY_LOCAL_MACHINE\Software (its subkeys are left
// out: other test programs may make and delete theirs meanwhile).
TEST(CanWriteMachineRegistry, AnswersTrueForAnAdministratorAndStoresNothing) {
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &software), ERROR_SUCCESS);
    DWORD before = 0, after = 0;
    RegQueryInfoKeyA(software, 0, 0, 0, 0, 0, 0, &before, 0, 0, 0, 0);
    EXPECT_TRUE(CanWriteMachineRegistry());
    RegQueryInfoKeyA(software, 0, 0, 0, 0, 0, 0, &after, 0, 0, 0, 0);
    RegCloseKey(software);
    EXPECT_EQ(after, before);
}

TEST(GetShellFolder, FindsTheFoldersTheConfiguratorUses) {
    const std::string user = "C:\\users\\" + userName();
    struct Case {
        int csidl;
        std::string path;
    } cases[] = {
        {2, user + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"},   // CSIDL_PROGRAMS
        {16, user + "\\Desktop"},                                                      // CSIDL_DESKTOPDIRECTORY
        {23, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},              // CSIDL_COMMON_PROGRAMS
        {25, "C:\\users\\Public\\Desktop"},                                             // CSIDL_COMMON_DESKTOPDIRECTORY
        {26, user + "\\AppData\\Roaming"},                                             // CSIDL_APPDATA
        {35, "C:\\ProgramData"},                                                       // CSIDL_COMMON_APPDATA
        {36, "C:\\windows"},                                                           // CSIDL_WINDOWS
        {38, "C:\\Program Files"},                                                     // CSIDL_PROGRAM_FILES
        {40, user},                                                                    // CSIDL_PROFILE
        {46, "C:\\users\\Public\\Documents"},                                           // CSIDL_COMMON_DOCUMENTS
    };
    for (const Case& c : cases) {
        for (BOOL create : {FALSE, TRUE}) {
            char buffer[MAX_PATH + 1] = "";
            EXPECT_TRUE(GetShellFolder(buffer, c.csidl, create)) << c.csidl;
            EXPECT_STRCASEEQ(buffer, c.path.c_str()) << c.csidl;
        }
    }
    // The recycle bin has no folder under Wine.
    char buffer[MAX_PATH + 1] = "";
    EXPECT_FALSE(GetShellFolder(buffer, 10, FALSE));
}
