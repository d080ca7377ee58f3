// The shell's special folders (Start menu, desktop, profile, Program Files ...) through
// whichever function the running Windows offers: SHGetSpecialFolderPathA of shell32, else
// SHGetFolderPathA of shell32, else that of shfolder.dll. The choice is made once.
#include "krlxconfig.h"
#include "once.h"

namespace {

typedef BOOL(WINAPI* SHGetSpecialFolderPathFunction)(HWND, LPSTR, int, BOOL);
typedef HRESULT(WINAPI* SHGetFolderPathFunction)(HWND, int, HANDLE, DWORD, LPSTR);

once_state shellFunctionsReady;
SHGetSpecialFolderPathFunction getSpecialFolderPath;
SHGetFolderPathFunction getFolderPath;

FARPROC exportOf(HMODULE module, const char* name) {
    return module ? GetProcAddress(module, name) : nullptr;
}

// The libraries stay loaded for the life of the process.
void findShellFunctions() {
    HMODULE shell = LoadLibraryA("shell32.dll");
    getSpecialFolderPath =
        reinterpret_cast<SHGetSpecialFolderPathFunction>(exportOf(shell, "SHGetSpecialFolderPathA"));
    if (getSpecialFolderPath) return;
    getFolderPath = reinterpret_cast<SHGetFolderPathFunction>(exportOf(shell, "SHGetFolderPathA"));
    if (getFolderPath) return;
    getFolderPath =
        reinterpret_cast<SHGetFolderPathFunction>(exportOf(LoadLibraryA("shfolder.dll"), "SHGetFolderPathA"));
}

}  // namespace

bool GetShellFolder(char* buffer, int csidl, BOOL create) {
    run_once(&shellFunctionsReady, findShellFunctions);
    if (getSpecialFolderPath) return getSpecialFolderPath(nullptr, buffer, csidl, create) != FALSE;
    // SHGetFolderPathA takes no create flag here: type 0, no token.
    if (getFolderPath) return getFolderPath(nullptr, csidl, nullptr, 0, buffer) == S_OK;
    SetLastError(ERROR_NOT_SUPPORTED);
    return false;
}
