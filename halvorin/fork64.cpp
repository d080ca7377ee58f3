// The hand-over to the 64-bit twin: on 64-bit Windows the 32-bit build passes "-i",
// "-x" and "-r" to halvorin64.exe beside it, so that the service is registered from
// the 64-bit registry view, and waits for it.
#include <stdio.h>
#include <string.h>

#include "cstring.h"
#include "service_host.h"

namespace {

typedef BOOL(WINAPI* IsWow64ProcessFn)(HANDLE, PBOOL);

volatile LONG wow64State;   // 0 unknown, 1 no, 2 yes

}  // namespace

// A 32-bit process on 64-bit Windows. IsWow64Process is missing before XP SP2.
bool IsWow64() {
    if (wow64State == 0) {
        BOOL wow64 = FALSE;
        IsWow64ProcessFn isWow64Process =
            reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(GetModuleHandleA("kernel32"), "IsWow64Process"));
        if (isWow64Process && !isWow64Process(GetCurrentProcess(), &wow64)) wow64 = FALSE;
        InterlockedExchange(&wow64State, wow64 ? 2 : 1);
    }
    return wow64State == 2;
}

int fork64(const char* commandLine) {
    if (!IsWow64()) {
        LogMessage("fork64 not done: !WOW64\n");
        return 0;
    }
    cstring twinPath;
    twinPath.format("%shalvorin64.exe", GetModuleFolder());
    return forkTwin(twinPath.c_str(), commandLine);
}

// Runs the twin with the same command line and waits for it; 1 when it ran.
int forkTwin(const char* twinPath, const char* commandLine) {
    if (!IsExistingFile(twinPath)) {
        LogMessage("fork64 failed because file %s does not exist", twinPath);
        return 0;
    }
    if (!commandLine) commandLine = "";
    size_t size = strlen(twinPath) + strlen(commandLine) + 4;
    char* childCommandLine = static_cast<char*>(GlobalAlloc(GPTR, size));
    if (!childCommandLine) return 0;
    snprintf(childCommandLine, size, "\"%s\" %s", twinPath, commandLine);
    LogMessage("this is 64-bit system. forking %s...\n", twinPath);

    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    BOOL started = CreateProcessA(twinPath, childCommandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                  &startup, &child);
    if (!started) ReportOSError("CreateProcess(halvorin64.exe) failed");
    GlobalFree(childCommandLine);
    if (!started) return 0;
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return 1;
}
