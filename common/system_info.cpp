// System information of the utility library: WOW64, the OS description, names and
// folders computed once, and the host's address. Functions missing from older Windows
// versions are looked up by name.
#include <winsock2.h>

#include "system_info.h"

#include <stdlib.h>
#include <string.h>

#include "once.h"
#include "text_utils.h"

namespace {

const int kAppDataFolder = 26;   // CSIDL_APPDATA

typedef BOOL(WINAPI* IsWow64ProcessFunction)(HANDLE, PBOOL);
typedef void(WINAPI* GetNativeSystemInfoFunction)(LPSYSTEM_INFO);
typedef HRESULT(WINAPI* SHGetFolderPathFunction)(HWND, int, HANDLE, DWORD, LPSTR);
typedef BOOL(WINAPI* SHGetSpecialFolderPathFunction)(HWND, LPSTR, int, BOOL);

once_state wow64FunctionReady;
IsWow64ProcessFunction isWow64Process;

once_state computerNameReady;
char* computerNameText;

once_state userNameReady;
char userNameText[514];

once_state appDataReady;
char appDataText[MAX_PATH + 1];

template <class Function>
Function look_up(HMODULE module, const char* name) {
    return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

void compute_computer_name() {
    static char fallback[] = "localhost";
    DWORD size = 256;   // 255 characters and the terminator
    char* name = static_cast<char*>(malloc(size));
    // Too small: the call reports the size it needs, terminator included.
    for (int attempt = 0; name && attempt < 3; attempt++) {
        DWORD length = size;
        if (GetComputerNameA(name, &length)) {
            computerNameText = name;
            return;
        }
        DWORD error = GetLastError();
        if (error != ERROR_BUFFER_OVERFLOW || length <= size) break;
        size = length;
        char* larger = static_cast<char*>(realloc(name, size));
        if (!larger) break;
        name = larger;
    }
    free(name);
    computerNameText = fallback;
}

void compute_app_data_folder() {
    bool found = false;
    HMODULE shfolder = LoadLibraryA("shfolder.dll");
    SHGetFolderPathFunction getFolderPath = look_up<SHGetFolderPathFunction>(shfolder, "SHGetFolderPathA");
    if (getFolderPath) found = getFolderPath(nullptr, kAppDataFolder, nullptr, 0, appDataText) == S_OK;
    if (shfolder) FreeLibrary(shfolder);
    if (!found) {
        HMODULE shell = LoadLibraryA("shell32.dll");
        SHGetSpecialFolderPathFunction getSpecialFolderPath =
            look_up<SHGetSpecialFolderPathFunction>(shell, "SHGetSpecialFolderPathA");
        if (getSpecialFolderPath) found = getSpecialFolderPath(nullptr, appDataText, kAppDataFolder, FALSE) != FALSE;
        if (shell) FreeLibrary(shell);
    }
    if (!found) {
        cstring folder;
        char windows[MAX_PATH + 1] = "";
        GetWindowsDirectoryA(windows, sizeof windows);
        folder.format("%s\\Application Data", windows);
        CreateDirectoryA(folder.c_str(), nullptr);
        copy_truncated(folder.c_str(), appDataText, sizeof appDataText);
    }
}

// The dotted text of the first address of the host's name; null on failure, with the
// socket error set.
const char* first_host_address() {
    char name[256];
    if (gethostname(name, sizeof name) != 0) return nullptr;
    hostent* host = gethostbyname(name);
    if (!host || host->h_addrtype != AF_INET || !host->h_addr_list || !host->h_addr_list[0]) return nullptr;
    return inet_ntoa(*reinterpret_cast<in_addr*>(host->h_addr_list[0]));
}

}  // namespace

bool is_wow64() {
    run_once(&wow64FunctionReady, [] {
        isWow64Process = look_up<IsWow64ProcessFunction>(GetModuleHandleA("kernel32"), "IsWow64Process");
    });
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

OsDescription::OsDescription() : wow64(0), build(0), processor(0), name("") {
    OSVERSIONINFOEXA version = {};
    version.dwOSVersionInfoSize = sizeof version;   // the extended structure, 156 bytes
    bool known = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)) != FALSE;
    SYSTEM_INFO system = {};
    wow64 = is_wow64() ? 1 : 0;
    GetNativeSystemInfoFunction getNativeSystemInfo =
        wow64 ? look_up<GetNativeSystemInfoFunction>(GetModuleHandleA("kernel32"), "GetNativeSystemInfo") : nullptr;
    if (getNativeSystemInfo) {
        getNativeSystemInfo(&system);
    } else {
        GetSystemInfo(&system);
    }
    processor = system.wProcessorArchitecture;
    if (known) {
        build = version.dwBuildNumber;
        os_version_name(version.dwMajorVersion, version.dwMinorVersion, wow64 != 0, name);
    }
}

int OsDescription::bits() const {
    return wow64 || sizeof(void*) == 8 ? 64 : 32;
}

const char* os_version_name(unsigned major, unsigned minor, bool wow64, cstring& out) {
    if (major < 5) {
        out.assign("Windows NT");
    } else if (major == 5) {
        static const char* const names[] = {"Windows 2000", "Windows XP", "Windows 2003"};
        if (minor < 3) {
            out.assign(names[minor]);
        } else {
            out.format("Windows 5.%d", int(minor));
        }
    } else if (major == 6) {
        out.assign("Windows Vista");
    } else {
        out.format("Windows %d", int(major));
    }
    if (wow64) out.append(" (x64)");
    return out.c_str();
}

const char* computer_name() {
    run_once(&computerNameReady, compute_computer_name);
    return computerNameText;
}

const char* user_name() {
    run_once(&userNameReady, [] {
        DWORD size = 513;
        if (!GetUserNameA(userNameText, &size)) userNameText[0] = 0;
    });
    return userNameText;
}

const char* app_data_folder() {
    run_once(&appDataReady, compute_app_data_folder);
    return appDataText;
}

const char* host_address(char* buffer, int size) {
    const char* address = first_host_address();
    bool started = false;
    // Windows answers WSANOTINITIALISED at gethostname, Wine only at gethostbyname.
    if (!address && WSAGetLastError() == WSANOTINITIALISED) {
        WSADATA data;
        started = WSAStartup(MAKEWORD(1, 1), &data) == 0;
        if (started) address = first_host_address();
    }
    copy_truncated(address ? address : "unknown", buffer, size);
    if (started) WSACleanup();
    return buffer;
}
