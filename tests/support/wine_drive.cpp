// Drive letters through Wine's mount manager: its IOCTL_MOUNTMGR_DEFINE_UNIX_DRIVE request
// takes the letter, the drive type and the unix folder that the letter is to show.
#include "wine_drive.h"

#include <string.h>

#include <string>
#include <vector>

namespace testing_support {

namespace {

// Wine's extension of the mount manager ('m' device type, function 32) and its request.
const DWORD kDefineUnixDrive = CTL_CODE(0x6D, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

struct UnixDriveRequest {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;   // 0: remove the letter
    USHORT deviceOffset;
    USHORT labelOffset;
};

// The unix path of a Windows path, from Wine's own export of kernel32.
bool unixPathOf(const char* folder, std::string& unixPath) {
    typedef char*(CDECL * UnixFileName)(const WCHAR*);
    UnixFileName toUnix =
        reinterpret_cast<UnixFileName>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
    WCHAR wide[MAX_PATH];
    if (!toUnix || !MultiByteToWideChar(CP_ACP, 0, folder, -1, wide, MAX_PATH)) return false;
    char* path = toUnix(wide);
    if (!path) return false;
    unixPath = path;
    HeapFree(GetProcessHeap(), 0, path);
    return true;
}

bool sendRequest(char letter, const std::string& unixPath, DWORD type) {
    HANDLE manager = CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return false;
    std::vector<char> bytes(sizeof(UnixDriveRequest) + unixPath.size() + 1, 0);
    UnixDriveRequest* request = reinterpret_cast<UnixDriveRequest*>(bytes.data());
    request->size = ULONG(bytes.size());
    request->type = type;
    request->letter = WCHAR(letter);
    if (!unixPath.empty()) {
        request->mountPointOffset = USHORT(sizeof(UnixDriveRequest));
        memcpy(bytes.data() + sizeof(UnixDriveRequest), unixPath.c_str(), unixPath.size() + 1);
    }
    DWORD got = 0;
    BOOL sent = DeviceIoControl(manager, kDefineUnixDrive, bytes.data(), DWORD(bytes.size()), nullptr, 0, &got, nullptr);
    CloseHandle(manager);
    return sent != FALSE;
}

// Wine keeps a removed letter in GetLogicalDrives; its root is gone, though.
bool letterMapped(char letter) {
    char root[] = {letter, ':', '\\', 0};
    return GetDriveTypeA(root) != DRIVE_NO_ROOT_DIR;
}

}  // namespace

bool DefineWineDrive(char letter, const char* folder, DWORD type) {
    std::string unixPath;
    if (!unixPathOf(folder, unixPath) || unixPath.empty()) return false;
    RemoveWineDrive(letter);
    char root[] = {letter, ':', '\\', 0};
    return sendRequest(letter, unixPath, type) && GetDriveTypeA(root) == type;
}

bool RemoveWineDrive(char letter) {
    if (letterMapped(letter)) sendRequest(letter, std::string(), DRIVE_UNKNOWN);
    return !letterMapped(letter);
}

}  // namespace testing_support
