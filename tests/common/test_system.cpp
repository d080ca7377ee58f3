// Process, system and window helpers: OS description names, the executable's path,
// module versions, heaps, mutexes, handing a handle over, terminating a process, GUID
// texts, the computer and user names, the application-data folder, the host address
// and window queries (under the harness's display).
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <ctype.h>
#include <string.h>

#include <string>

#include "guid.h"
#include "process_info.h"
#include "system_info.h"
#include "test_support.h"
#include "window_queries.h"

using testing_support::DistFile;

namespace {

std::string name_for(unsigned major, unsigned minor, bool wow64) {
    cstring out("stale");
    os_version_name(major, minor, wow64, out);
    return out.c_str();
}

bool is_dotted_quad(const char* text) {
    int parts[4];
    char end;
    return sscanf(text, "%d.%d.%d.%d%c", &parts[0], &parts[1], &parts[2], &parts[3], &end) == 4;
}

}  // namespace

TEST(CommonSystem, NamesWindowsVersions) {
    EXPECT_EQ(name_for(4, 0, false), "Windows NT");
    EXPECT_EQ(name_for(3, 51, false), "Windows NT");
    EXPECT_EQ(name_for(5, 0, false), "Windows 2000");
    EXPECT_EQ(name_for(5, 1, false), "Windows XP");
    EXPECT_EQ(name_for(5, 2, false), "Windows 2003");
    EXPECT_EQ(name_for(5, 3, false), "Windows 5.3");
    EXPECT_EQ(name_for(6, 0, false), "Windows Vista");
    EXPECT_EQ(name_for(6, 1, true), "Windows Vista (x64)");   // Windows 7 under WOW64
    EXPECT_EQ(name_for(6, 3, false), "Windows Vista");
    EXPECT_EQ(name_for(10, 0, false), "Windows 10");
    EXPECT_EQ(name_for(5, 1, true), "Windows XP (x64)");
}

TEST(CommonSystem, DescribesTheRunningSystem) {
    // The Wine prefix reports Windows 7 (6.1, build 7601); this 64-bit program is not
    // under WOW64, yet the system is 64-bit.
    OsDescription os;
    EXPECT_EQ(os.wow64, 0);
    EXPECT_FALSE(is_wow64());
    EXPECT_STREQ(os.name.c_str(), "Windows Vista");
    EXPECT_EQ(os.build, 7601u);
    EXPECT_EQ(os.processor, unsigned(PROCESSOR_ARCHITECTURE_AMD64));
    EXPECT_EQ(os.bits(), 64);
}

TEST(CommonSystem, KnowsTheExecutable) {
    std::string path = executable_path();
    std::string folder = executable_folder();
    ASSERT_GT(path.size(), 4u);
    std::string lower = path;
    for (char& c : lower) c = char(tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(lower.substr(lower.size() - 17), "common_system.exe");
    EXPECT_EQ(folder, path.substr(0, path.size() - 17));
    EXPECT_EQ(folder.back(), '\\');
    EXPECT_TRUE(is_executable_name("COMMON_SYSTEM.exe"));
    EXPECT_FALSE(is_executable_name("common_system"));
    EXPECT_FALSE(is_executable_name(nullptr));
    EXPECT_EQ(executable_path(), executable_path());   // kept, not recomputed
}

TEST(CommonSystem, ReadsModuleVersions) {
    int major = 5, minor = 5, build = 5, revision = 5;
    cstring text;
    // This test program has no version resource.
    EXPECT_FALSE(module_version(nullptr, &major, &minor, &build, &revision));
    EXPECT_EQ(major + minor + build + revision, 0);
    EXPECT_STREQ(module_version_text(nullptr, text), "unknown");

    HMODULE krln = LoadLibraryExA(DistFile("krln64.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(krln, nullptr);
    EXPECT_TRUE(module_version(krln, &major, &minor, nullptr, &revision));
    EXPECT_EQ(major, 9);
    EXPECT_EQ(minor, 0);
    EXPECT_EQ(revision, 0);
    EXPECT_STREQ(module_version_text(krln, text), "9.0.0");
    FreeLibrary(krln);

    // A module of the system: Wine's kernel32 carries a version resource of its own
    // numbers (not Windows 7's).
    EXPECT_TRUE(module_version(GetModuleHandleA("kernel32.dll"), &major, &minor, &build, nullptr));
    EXPECT_GT(major, 0);
}

TEST(CommonSystem, ListsHeapsAndTestsMutexes) {
    HANDLE heaps[64];
    DWORD count = process_heaps(heaps, 64);
    ASSERT_GE(count, 1u);
    bool hasDefault = false;
    for (DWORD i = 0; i < count && i < 64; i++) hasDefault = hasDefault || heaps[i] == GetProcessHeap();
    EXPECT_TRUE(hasDefault);
    EXPECT_EQ(process_heaps(heaps, 0), count);   // the count, without filling

    HANDLE mutex = CreateMutexA(nullptr, FALSE, "CorvalisJEConfig.CommonTest.Mutex");
    ASSERT_NE(mutex, nullptr);
    EXPECT_EQ(mutex_exists("CorvalisJEConfig.CommonTest.Mutex"), DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(mutex);
    EXPECT_EQ(mutex_exists("CorvalisJEConfig.CommonTest.Mutex"), 0u);
    // A name that cannot be a mutex's gives the error itself.
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, "CorvalisJEConfig.CommonTest.Event");
    DWORD error = mutex_exists("CorvalisJEConfig.CommonTest.Event");
    EXPECT_NE(error, 0u);
    EXPECT_NE(error, DWORD(ERROR_ALREADY_EXISTS));
    CloseHandle(event);
}

TEST(CommonSystem, HandsHandlesOverAndTerminatesProcesses) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE duplicate = duplicate_handle_into_process(event, GetCurrentProcessId());
    ASSERT_NE(duplicate, nullptr);
    EXPECT_NE(duplicate, event);
    SetEvent(duplicate);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    CloseHandle(duplicate);
    CloseHandle(event);
    EXPECT_EQ(duplicate_handle_into_process(GetCurrentProcess(), 0xFFFFFFF0), nullptr);

    // A suspended copy of this program, ended with exit code -1.
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    std::string command = "\"" + std::string(executable_path()) + "\" --gtest_list_tests";
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                               &startup, &child));
    EXPECT_TRUE(terminate_process(child.dwProcessId));
    EXPECT_EQ(WaitForSingleObject(child.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    EXPECT_EQ(code, 0xFFFFFFFFu);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    EXPECT_FALSE(terminate_process(0xFFFFFFF0));
    EXPECT_NE(GetLastError(), 0u);
}

TEST(CommonSystem, MakesGuidTexts) {
    cstring first, second;
    ASSERT_TRUE(guid_text(first));
    ASSERT_TRUE(guid_text(second));
    EXPECT_NE(std::string(first.c_str()), std::string(second.c_str()));
    ASSERT_EQ(first.length(), 36u);
    for (unsigned i = 0; i < first.length(); i++) {
        char c = first.c_str()[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            EXPECT_EQ(c, '-') << first.c_str();
        } else {
            EXPECT_TRUE(isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F')) << first.c_str();
        }
    }
}

TEST(CommonSystem, KnowsNamesAndFolders) {
    char computer[256];
    DWORD size = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &size));
    EXPECT_STREQ(computer_name(), computer);
    char user[514];
    size = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &size));
    EXPECT_STREQ(user_name(), user);

    std::string appData = app_data_folder();
    EXPECT_TRUE(GetFileAttributesA(appData.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_GT(appData.size(), 16u);
    EXPECT_EQ(appData.substr(appData.size() - 16), "\\AppData\\Roaming");
}

TEST(CommonSystem, FindsTheHostAddressWithOrWithoutWinsock) {
    // Nobody has started Winsock here. Windows refuses gethostname then and the call
    // starts Winsock for itself; Wine answers without it. Either way Winsock is left as
    // it was found: a cleanup now has nothing to end.
    char address[32] = "x";
    host_address(address, sizeof address);
    EXPECT_TRUE(strcmp(address, "unknown") == 0 || is_dotted_quad(address)) << address;
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);

    // Started by the caller, it stays started: exactly one cleanup is due.
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    char again[32] = "x";
    host_address(again, sizeof again);
    EXPECT_STREQ(again, address);
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);

    char tiny[4];
    host_address(tiny, sizeof tiny);
    EXPECT_EQ(strlen(tiny), 3u);
}

TEST(CommonWindows, QueriesTextsClassesAndChildren) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "KRLXConfigCommonTestWindow";
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowA("KRLXConfigCommonTestWindow", "Corvalis JE", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(window, nullptr) << "no display?";
    HWND child = CreateWindowA("STATIC", "", WS_CHILD, 0, 0, 50, 20, window, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(child, nullptr);

    cstring text("stale");
    EXPECT_TRUE(window_text(window, text));
    EXPECT_STREQ(text.c_str(), "Corvalis JE");
    EXPECT_FALSE(window_text(child, text));   // empty
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(window_text_length_with_timeout(window), 11);
    EXPECT_TRUE(window_text_with_timeout(window, text));
    EXPECT_STREQ(text.c_str(), "Corvalis JE");
    EXPECT_FALSE(window_text_with_timeout(child, text));
    EXPECT_EQ(window_text_length_with_timeout(nullptr), 0);

    EXPECT_TRUE(is_window_class(window, "krlxconfigcommontestwindow"));
    EXPECT_FALSE(is_window_class(window, "KRLXConfig"));
    EXPECT_TRUE(has_window_class_prefix(window, "KRLXConfig"));
    EXPECT_FALSE(has_window_class_prefix(window, "KRLXConfigCommonTestWindowAndMore"));
    EXPECT_TRUE(is_window_class(child, "static"));

    ShowWindow(window, SW_SHOWNOACTIVATE);
    EXPECT_FALSE(has_visible_child(window));
    ShowWindow(child, SW_SHOW);
    EXPECT_TRUE(has_visible_child(window));
    EXPECT_EQ(top_level_ancestor(child), window);
    EXPECT_EQ(top_level_ancestor(window), window);

    DestroyWindow(window);
    UnregisterClassA("KRLXConfigCommonTestWindow", windowClass.hInstance);
}
