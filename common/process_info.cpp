// Process helpers of the utility library: the executable's path and folder (computed
// once), module versions, heaps, mutexes, handle duplication and termination.
#include "process_info.h"

#include <stdlib.h>
#include <string.h>

#include "once.h"

namespace {

once_state executablePathReady;
char executablePathText[MAX_PATH + 2];
char executableFolderText[MAX_PATH + 2];

once_state heapFunctionReady;
typedef DWORD(WINAPI* GetProcessHeapsFunction)(DWORD, PHANDLE);
GetProcessHeapsFunction getProcessHeaps;

void compute_executable_path() {
    // GetModuleFileNameA does not terminate a truncated path on XP.
    DWORD length = GetModuleFileNameA(nullptr, executablePathText, MAX_PATH + 1);
    executablePathText[length <= MAX_PATH + 1 ? length : 0] = 0;
    const char* lastBackslash = strrchr(executablePathText, '\\');
    size_t folderLength = lastBackslash ? size_t(lastBackslash - executablePathText) + 1 : 0;
    memcpy(executableFolderText, executablePathText, folderLength);
    executableFolderText[folderLength] = 0;
}

// VS_VERSIONINFO: a header of three words, the key "VS_VERSION_INFO" in UTF-16 with its
// terminator, padding to four bytes, then VS_FIXEDFILEINFO.
const VS_FIXEDFILEINFO* fixed_file_info(HMODULE module) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(VS_VERSION_INFO), MAKEINTRESOURCEA(16));
    HGLOBAL loaded = resource ? LoadResource(module, resource) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    DWORD size = resource ? SizeofResource(module, resource) : 0;
    const size_t offset = (6 + 16 * sizeof(WCHAR) + 3) & ~size_t(3);
    if (!data || size < offset + sizeof(VS_FIXEDFILEINFO)) return nullptr;
    WORD valueLength = WORD(data[2] | data[3] << 8);
    const VS_FIXEDFILEINFO* info = reinterpret_cast<const VS_FIXEDFILEINFO*>(data + offset);
    if (valueLength < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD) return nullptr;
    return info;
}

void set_if_given(int* out, int value) {
    if (out) *out = value;
}

}  // namespace

const char* executable_path() {
    run_once(&executablePathReady, compute_executable_path);
    return executablePathText;
}

const char* executable_folder() {
    run_once(&executablePathReady, compute_executable_path);
    return executableFolderText;
}

bool is_executable_name(const char* name) {
    const char* path = executable_path();
    const char* lastBackslash = strrchr(path, '\\');
    return name && _stricmp(lastBackslash ? lastBackslash + 1 : path, name) == 0;
}

bool module_version(HMODULE module, int* major, int* minor, int* build, int* revision) {
    set_if_given(major, 0);
    set_if_given(minor, 0);
    set_if_given(build, 0);
    set_if_given(revision, 0);
    const VS_FIXEDFILEINFO* info = fixed_file_info(module ? module : GetModuleHandleA(nullptr));
    if (!info) return false;
    set_if_given(major, HIWORD(info->dwFileVersionMS));
    set_if_given(minor, LOWORD(info->dwFileVersionMS));
    set_if_given(build, HIWORD(info->dwFileVersionLS));
    set_if_given(revision, LOWORD(info->dwFileVersionLS));
    return true;
}

const char* module_version_text(HMODULE module, cstring& out) {
    int major, minor, build;
    if (module_version(module, &major, &minor, &build, nullptr)) {
        out.format("%d.%d.%d", major, minor, build);
    } else {
        out.assign("unknown");
    }
    return out.c_str();
}

DWORD process_heaps(HANDLE* heaps, DWORD count) {
    run_once(&heapFunctionReady, [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        if (!kernel) kernel = LoadLibraryA("kernel32.dll");
        if (kernel) getProcessHeaps = reinterpret_cast<GetProcessHeapsFunction>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "GetProcessHeaps")));
    });
    if (getProcessHeaps) return getProcessHeaps(count, heaps);
    if (heaps && count) heaps[0] = GetProcessHeap();
    return 1;
}

SIZE_T compact_heaps() {
    HANDLE first[8];
    HANDLE* heaps = first;
    DWORD count = process_heaps(first, 8);
    if (count > 8) {
        // Asked again with room for all; a heap made meanwhile is left for next time.
        HANDLE* all = static_cast<HANDLE*>(malloc(sizeof(HANDLE) * count));
        DWORD again = all ? process_heaps(all, count) : 0;
        if (all) heaps = all;
        count = all ? (again < count ? again : count) : 8;
    }
    SIZE_T total = 0;
    for (DWORD i = 0; i < count; i++) total += HeapCompact(heaps[i], 0);
    if (heaps != first) free(heaps);
    return total;
}

DWORD mutex_exists(const char* name) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name);
    if (mutex) {
        CloseHandle(mutex);
        return ERROR_ALREADY_EXISTS;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : error;
}

HANDLE duplicate_handle_into_process(HANDLE handle, DWORD processId) {
    HANDLE target = OpenProcess(PROCESS_DUP_HANDLE, FALSE, processId);
    if (!target) return nullptr;
    HANDLE duplicate = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, target, &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS))
        duplicate = nullptr;
    DWORD error = GetLastError();
    CloseHandle(target);
    SetLastError(error);
    return duplicate;
}

bool terminate_process(DWORD processId) {
    HANDLE token = nullptr;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, FALSE, &token)) {
        DWORD error = GetLastError();
        if (error != ERROR_NO_TOKEN ||
            !OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
            return false;
    }
    TOKEN_PRIVILEGES debug = {};
    TOKEN_PRIVILEGES previous = {};
    DWORD previousSize = sizeof previous;
    debug.PrivilegeCount = 1;
    debug.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ended = false;
    DWORD error = 0;
    if (!LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &debug.Privileges[0].Luid) ||
        !AdjustTokenPrivileges(token, FALSE, &debug, sizeof debug, &previous, &previousSize)) {
        error = GetLastError();
    } else if ((error = GetLastError()) == ERROR_NOT_ALL_ASSIGNED) {
        error = ERROR_ACCESS_DENIED;
    } else {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
        error = process ? 0 : GetLastError();
        AdjustTokenPrivileges(token, FALSE, &previous, 0, nullptr, nullptr);
        if (process) {
            ended = TerminateProcess(process, UINT(-1)) != FALSE;
            error = ended ? 0 : GetLastError();
            CloseHandle(process);
        }
    }
    CloseHandle(token);
    SetLastError(error);
    return ended;
}
